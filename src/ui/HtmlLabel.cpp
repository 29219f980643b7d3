#include "HtmlLabel.h"

#include <QAbstractTextDocumentLayout>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <algorithm>
#include <cmath>
#include <utility>

namespace {

constexpr int kShadowProperty = QTextFormat::UserProperty + 1;

struct Style {
  QFont font;
  QColor color;
};

QString DecodeEntity(const QString& name) {
  if (name.startsWith(QLatin1Char('#'))) {
    bool ok = false;
    const uint code = name.startsWith(QLatin1String("#x"), Qt::CaseInsensitive)
                          ? name.mid(2).toUInt(&ok, 16)
                          : name.mid(1).toUInt(&ok, 10);
    if (ok && code > 0 && code <= 0x10FFFF) {
      const char32_t c = code;
      return QString::fromUcs4(&c, 1);
    }
    return {};
  }
  const QString lower = name.toLower();
  if (lower == QLatin1String("lt")) return QStringLiteral("<");
  if (lower == QLatin1String("gt")) return QStringLiteral(">");
  if (lower == QLatin1String("amp")) return QStringLiteral("&");
  if (lower == QLatin1String("quot")) return QStringLiteral("\"");
  if (lower == QLatin1String("nbsp")) return QString(QChar(0x00A0));
  return {};
}

// Replaces the entities of text; an unknown or unterminated one stays as written.
QString DecodeText(const QString& text) {
  QString out;
  out.reserve(text.size());
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == QLatin1Char('&')) {
      const qsizetype semi = text.indexOf(QLatin1Char(';'), i + 1);
      if (semi > i + 1 && semi - i <= 10) {
        const QString decoded = DecodeEntity(text.mid(i + 1, semi - i - 1));
        if (!decoded.isEmpty()) {
          out += decoded;
          i = semi;
          continue;
        }
      }
    }
    out += text[i];
  }
  return out;
}

struct Tag {
  QString name;  // upper case, without the '/'
  bool closing = false;
  std::vector<std::pair<QString, QString>> attributes;  // names in lower case

  QString Attribute(const char* key) const {
    for (const auto& [name, value] : attributes)
      if (name == QLatin1String(key)) return value;
    return {};
  }
};

Tag ParseTag(const QString& inside) {
  Tag tag;
  qsizetype i = 0;
  const qsizetype n = inside.size();
  auto skipBlanks = [&] {
    while (i < n && inside[i].isSpace()) ++i;
  };
  skipBlanks();
  if (i < n && inside[i] == QLatin1Char('/')) {
    tag.closing = true;
    ++i;
  }
  const qsizetype nameStart = i;
  while (i < n && !inside[i].isSpace() && inside[i] != QLatin1Char('/')) ++i;
  tag.name = inside.mid(nameStart, i - nameStart).toUpper();
  for (;;) {
    skipBlanks();
    if (i >= n) break;
    const qsizetype keyStart = i;
    while (i < n && !inside[i].isSpace() && inside[i] != QLatin1Char('=')) ++i;
    const QString key = inside.mid(keyStart, i - keyStart).toLower();
    skipBlanks();
    QString value;
    if (i < n && inside[i] == QLatin1Char('=')) {
      ++i;
      skipBlanks();
      if (i < n && (inside[i] == QLatin1Char('"') || inside[i] == QLatin1Char('\''))) {
        const QChar quote = inside[i++];
        const qsizetype end = inside.indexOf(quote, i);
        const qsizetype stop = end < 0 ? n : end;
        value = inside.mid(i, stop - i);
        i = end < 0 ? n : end + 1;
      } else {
        const qsizetype valueStart = i;
        while (i < n && !inside[i].isSpace()) ++i;
        value = inside.mid(valueStart, i - valueStart);
      }
    }
    if (!key.isEmpty() && key != QLatin1String("/")) tag.attributes.emplace_back(key, value);
    if (i == keyStart) ++i;  // a lone '=' or '/': step over it
  }
  return tag;
}

class Parser {
 public:
  Parser(const QFont& baseFont, const QColor& baseColor) {
    styles_.push_back({baseFont, baseColor});
  }

  std::vector<THtmlParagraph> Parse(const QString& html) {
    qsizetype i = 0;
    const qsizetype n = html.size();
    QString text;
    while (i < n) {
      if (html[i] == QLatin1Char('<')) {
        const qsizetype close = html.indexOf(QLatin1Char('>'), i + 1);
        if (close >= 0) {
          AddText(text);
          text.clear();
          Apply(ParseTag(html.mid(i + 1, close - i - 1)));
          i = close + 1;
          continue;
        }
      }
      text += html[i++];
    }
    AddText(text);
    return std::move(paragraphs_);
  }

 private:
  void OpenParagraph(Qt::Alignment align) {
    paragraphs_.push_back(THtmlParagraph{align, styles_.back().font, {}});
    paragraphOpen_ = true;
  }

  void AddText(const QString& raw) {
    if (raw.isEmpty()) return;
    QString text = DecodeText(raw);
    text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (!paragraphOpen_) OpenParagraph(Qt::AlignLeft);
    const Style& style = styles_.back();
    auto& runs = paragraphs_.back().runs;
    const bool shadow = shadowDepth_ > 0;
    if (!runs.empty() && runs.back().font == style.font && runs.back().color == style.color &&
        runs.back().shadow == shadow) {
      runs.back().text += text;
    } else {
      runs.push_back(THtmlRun{text, style.font, style.color, shadow});
    }
  }

  void Apply(const Tag& tag) {
    const QString& name = tag.name;
    if (name == QLatin1String("P")) {
      if (tag.closing) {
        paragraphOpen_ = false;
      } else {
        const QString align = tag.Attribute("align").toLower();
        Qt::Alignment a = Qt::AlignLeft;
        if (align == QLatin1String("center")) a = Qt::AlignHCenter;
        if (align == QLatin1String("right")) a = Qt::AlignRight;
        OpenParagraph(a);
      }
    } else if (name == QLatin1String("BR")) {
      AddText(QString(QChar::LineSeparator));
    } else if (name == QLatin1String("FONT")) {
      if (tag.closing) {
        PopStyle();
      } else {
        Style style = styles_.back();
        const QString face = tag.Attribute("face");
        if (!face.isEmpty()) style.font.setFamilies({face});
        bool ok = false;
        const double size = tag.Attribute("size").toDouble(&ok);
        if (ok && size > 0 && size < 500) style.font.setPointSizeF(size);
        const QColor color = QColor::fromString(tag.Attribute("color"));
        if (color.isValid()) style.color = color;
        styles_.push_back(style);
      }
    } else if (name == QLatin1String("B") || name == QLatin1String("I") ||
               name == QLatin1String("U")) {
      if (tag.closing) {
        PopStyle();
      } else {
        Style style = styles_.back();
        if (name == QLatin1String("B")) style.font.setBold(true);
        if (name == QLatin1String("I")) style.font.setItalic(true);
        if (name == QLatin1String("U")) style.font.setUnderline(true);
        styles_.push_back(style);
      }
    } else if (name == QLatin1String("SHAD")) {
      shadowDepth_ = tag.closing ? std::max(0, shadowDepth_ - 1) : shadowDepth_ + 1;
    }
    // Any other tag is dropped.
  }

  void PopStyle() {
    if (styles_.size() > 1) styles_.pop_back();
  }

  std::vector<Style> styles_;
  std::vector<THtmlParagraph> paragraphs_;
  bool paragraphOpen_ = false;
  int shadowDepth_ = 0;
};

QTextCharFormat FormatOf(const QFont& font, const QColor& color, bool shadow) {
  QTextCharFormat format;
  format.setFont(font, QTextCharFormat::FontPropertiesAll);
  format.setForeground(color);
  format.setProperty(kShadowProperty, shadow);
  return format;
}

}  // namespace

std::vector<THtmlParagraph> ParseHtmlSubset(const QString& html, const QFont& baseFont,
                                            const QColor& baseColor) {
  return Parser(baseFont, baseColor).Parse(html);
}

THtmlLabel::THtmlLabel(QWidget* parent) : QWidget(parent) {
  document_.setDocumentMargin(0);
  document_.setUndoRedoEnabled(false);
}

THtmlLabel::~THtmlLabel() = default;

void THtmlLabel::SetLines(const QStringList& lines) {
  lines_ = lines;
  Rebuild();
}

QString THtmlLabel::PlainText() const {
  QStringList paragraphs;
  for (const THtmlParagraph& p : paragraphs_) {
    QString text;
    for (const THtmlRun& run : p.runs) text += run.text;
    paragraphs << text;
  }
  return paragraphs.join(QLatin1Char('\n'));
}

void THtmlLabel::SetShadowColor(const QColor& color) {
  shadowColor_ = color;
  Rebuild();
}

void THtmlLabel::SetShadowOffset(int pixels) {
  shadowOffset_ = std::max(0, pixels);
  Rebuild();
}

void THtmlLabel::Rebuild() {
  paragraphs_ = ParseHtmlSubset(lines_.join(QString()), font(), palette().color(foregroundRole()));
  document_.clear();
  document_.setDefaultFont(font());
  QTextCursor cursor(&document_);
  bool anyShadow = false;
  for (size_t i = 0; i < paragraphs_.size(); ++i) {
    const THtmlParagraph& p = paragraphs_[i];
    QTextBlockFormat block;
    block.setAlignment(p.align);
    const QTextCharFormat paragraphFormat = FormatOf(p.font, Qt::black, false);
    if (i == 0) {
      cursor.setBlockFormat(block);
      cursor.setBlockCharFormat(paragraphFormat);
    } else {
      cursor.insertBlock(block, paragraphFormat);
    }
    for (const THtmlRun& run : p.runs) {
      cursor.insertText(run.text, FormatOf(run.font, run.color, run.shadow));
      anyShadow = anyShadow || run.shadow;
    }
  }

  shadowDocument_.reset();
  if (anyShadow) {
    // The same layout drawn once more beneath: shadowed runs in the shadow colour, all other
    // text invisible, so only the shadow of the SHAD runs shows.
    shadowDocument_.reset(document_.clone());
    std::vector<std::pair<int, int>> ranges;
    std::vector<bool> shadowed;
    for (QTextBlock b = shadowDocument_->begin(); b.isValid(); b = b.next()) {
      for (auto it = b.begin(); !it.atEnd(); ++it) {
        const QTextFragment f = it.fragment();
        ranges.emplace_back(f.position(), f.length());
        shadowed.push_back(f.charFormat().property(kShadowProperty).toBool());
      }
    }
    QTextCursor shadowCursor(shadowDocument_.get());
    for (size_t i = 0; i < ranges.size(); ++i) {
      shadowCursor.setPosition(ranges[i].first);
      shadowCursor.setPosition(ranges[i].first + ranges[i].second, QTextCursor::KeepAnchor);
      QTextCharFormat format;
      format.setForeground(shadowed[i] ? shadowColor_ : QColor(Qt::transparent));
      shadowCursor.mergeCharFormat(format);
    }
  }
  FitHeight();
  update();
}

void THtmlLabel::FitHeight() {
  document_.setTextWidth(width());
  if (shadowDocument_) shadowDocument_->setTextWidth(width());
  const int height = static_cast<int>(std::ceil(document_.size().height())) + shadowOffset_;
  if (height != this->height()) resize(width(), height);
}

QSize THtmlLabel::sizeHint() const {
  return {width(), static_cast<int>(std::ceil(document_.size().height())) + shadowOffset_};
}

void THtmlLabel::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (document_.textWidth() != width()) FitHeight();
}

void THtmlLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::TextAntialiasing);
  if (shadowDocument_ && shadowOffset_ > 0) {
    painter.save();
    painter.translate(shadowOffset_, shadowOffset_);
    shadowDocument_->drawContents(&painter);
    painter.restore();
  }
  document_.drawContents(&painter);
}
