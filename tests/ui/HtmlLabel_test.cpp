// The rich-text label's markup subset and its height following the text.
#include <gtest/gtest.h>
#include <QApplication>

#include "HtmlLabel.h"

namespace {

struct RunExpect {
  QString text;
  bool shadow = false;
  bool bold = false;
  int pointSize = -1;  // -1: the base font's (pixel-sized) font
  QColor color = Qt::black;
};

TEST(HtmlSubset, IsParsedIntoParagraphsAndRuns) {
  struct Case {
    const char* what;
    QString html;
    std::vector<std::vector<RunExpect>> paragraphs;
  };
  const std::vector<Case> cases = {
      {"plain text makes one paragraph", "Dobar dan", {{{"Dobar dan"}}}},
      {"paragraphs, an empty one kept",
       "<p>a</p><p></p><P align=\"right\">b</P>",
       {{{"a"}}, {}, {{"b"}}}},
      {"font size, colour and shadow",
       "<FONT color=\"#ff0000\" size=\"12\"><SHAD>x</SHAD>y</FONT>z",
       {{{"x", true, false, 12, QColor(255, 0, 0)},
         {"y", false, false, 12, QColor(255, 0, 0)},
         {"z"}}}},
      {"entities", "&lt;tag&gt; &amp; &quot;q&quot; &#269;", {{{"<tag> & \"q\" \u010D"}}}},
      {"an unknown tag is dropped", "a<blink>b</blink>c", {{{"abc"}}}},
      {"a '<' with no '>' after it is text", "a < b", {{{"a < b"}}}},
      {"a '<' swallows up to the next '>'", "a <b c>d", {{{"a "}, {"d", false, true}}}},
      {"an unknown entity stays as written", "&bogus; &", {{{"&bogus; &"}}}},
      {"closing more than was opened is harmless", "</FONT></SHAD></B>x", {{{"x"}}}},
  };
  QFont base("Tahoma");
  base.setPixelSize(11);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto parsed = ParseHtmlSubset(c.html, base, Qt::black);
    ASSERT_EQ(parsed.size(), c.paragraphs.size());
    for (size_t p = 0; p < parsed.size(); ++p) {
      ASSERT_EQ(parsed[p].runs.size(), c.paragraphs[p].size()) << "paragraph " << p;
      for (size_t r = 0; r < parsed[p].runs.size(); ++r) {
        const THtmlRun& run = parsed[p].runs[r];
        const RunExpect& e = c.paragraphs[p][r];
        EXPECT_EQ(run.text, e.text);
        EXPECT_EQ(run.shadow, e.shadow);
        EXPECT_EQ(run.font.bold(), e.bold);
        EXPECT_EQ(run.font.pointSize(), e.pointSize);
        EXPECT_EQ(run.color, e.color);
      }
    }
  }
}

TEST(HtmlSubset, KeepsAlignmentAndFace) {
  const auto parsed =
      ParseHtmlSubset("<p align=\"center\"><FONT face=\"Tahoma\">a</FONT></p><p align=left>b</p>",
                      QFont(), Qt::black);
  ASSERT_EQ(parsed.size(), 2u);
  EXPECT_EQ(parsed[0].align, Qt::AlignHCenter);
  EXPECT_EQ(parsed[0].runs.at(0).font.families().value(0), QString("Tahoma"));
  EXPECT_EQ(parsed[1].align, Qt::AlignLeft);
}

TEST(HtmlLabelWidget, GrowsAndShrinksInHeightWithItsTextAtAFixedWidth) {
  THtmlLabel label;
  label.resize(377, 10);
  label.SetLines({"<p>kratko</p>"});
  const int oneLine = label.height();
  label.SetLines(
      {"<p>" + QString("Aplikacija nije dostupna. Pozovite administratora sistema. ").repeated(4) +
       "</p>"});
  const int severalLines = label.height();
  label.SetLines({"<p>kratko</p>"});
  EXPECT_GT(oneLine, 0);
  EXPECT_GT(severalLines, 2 * oneLine);
  EXPECT_EQ(label.height(), oneLine);
  EXPECT_EQ(label.width(), 377);
}

}  // namespace
