// THtmlLabel: a label that renders the small HTML subset of the program's reports: paragraphs
// (<P align=left|center|right>), <FONT color size face>, <B>, <I>, <U>, <BR>, and <SHAD>, a run
// drawn over a copy of itself in the shadow colour, offset down and right. Sizes are points.
// Entities &lt; &gt; &amp; &quot; &nbsp; and &#n; are understood. Text is not escaped by anyone:
// a "<" starts a tag that runs to the next ">" (an unknown tag is dropped); a "<" with no ">"
// after it is text. The label keeps its width and grows or shrinks in height with its text.
// Parsing never fails: markup it does not know is ignored.
#pragma once

#include <QColor>
#include <QFont>
#include <QStringList>
#include <QTextDocument>
#include <QWidget>
#include <memory>
#include <vector>

struct THtmlRun {
  QString text;
  QFont font;
  QColor color;
  bool shadow = false;
};

struct THtmlParagraph {
  Qt::Alignment align = Qt::AlignLeft;
  QFont font;  // the font in force where the paragraph began (gives an empty one its height)
  std::vector<THtmlRun> runs;
};

// The lines are joined as they stand (no separator), as the label reads them.
std::vector<THtmlParagraph> ParseHtmlSubset(const QString& html, const QFont& baseFont,
                                            const QColor& baseColor);

class THtmlLabel : public QWidget {
  Q_OBJECT

 public:
  explicit THtmlLabel(QWidget* parent = nullptr);
  ~THtmlLabel() override;

  // Replaces the markup (the label's lines) and re-lays the text out.
  void SetLines(const QStringList& lines);
  const QStringList& Lines() const noexcept { return lines_; }
  const std::vector<THtmlParagraph>& Paragraphs() const noexcept { return paragraphs_; }
  // The visible text, paragraphs separated by '\n'.
  QString PlainText() const;

  void SetShadowColor(const QColor& color);
  QColor ShadowColor() const { return shadowColor_; }
  void SetShadowOffset(int pixels);
  int ShadowOffset() const noexcept { return shadowOffset_; }

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Rebuild();
  void FitHeight();

  QStringList lines_;
  std::vector<THtmlParagraph> paragraphs_;
  QTextDocument document_;
  std::unique_ptr<QTextDocument> shadowDocument_;  // null when no run is shadowed
  QColor shadowColor_{209, 209, 209};
  int shadowOffset_ = 1;
};
