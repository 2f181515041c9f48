#include "ui/FontScale.h"

#include <QFont>
#include <QFontInfo>
#include <QList>
#include <QVariant>
#include <QWidget>
#include <algorithm>

namespace {
// The font a control had before the first scaling; dialogs scale at every showing, and scaling
// the already scaled font would make the text grow with each showing.
constexpr const char* kBaseFontProperty = "startvelkBaseFont";
}  // namespace

int FontScaleFactor(int logicalDpi, int pixelHeight) {
  if (logicalDpi == 96) return 1;
  // Font heights are negative character heights; the quotient of two negatives truncates to zero.
  // A form font below 11 pixels would give 0, a font of no size, so the factor is at least 1.
  return std::max(1, (-pixelHeight) / -11);
}

void ScaleFonts(QWidget* form) {
  if (form) ScaleFonts(form, form->logicalDpiY());
}

void ScaleFonts(QWidget* form, int logicalDpi) {
  if (!form || logicalDpi == 96) return;
  const int factor = FontScaleFactor(logicalDpi, QFontInfo(form->font()).pixelSize());
  const QList<QWidget*> children = form->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
  for (qsizetype i = children.size() - 1; i >= 0; --i) {
    QWidget* child = children[i];
    QVariant base = child->property(kBaseFontProperty);
    if (!base.isValid()) {
      base = child->font();
      child->setProperty(kBaseFontProperty, base);
    }
    QFont font = base.value<QFont>();
    if (font.pixelSize() > 0)
      font.setPixelSize(font.pixelSize() * factor);
    else
      font.setPointSizeF(font.pointSizeF() * factor);
    child->setFont(font);
  }
}

void SetCharacterHeight(QFont& font, int pixels96) {
  font.setPointSizeF(pixels96 * 72.0 / 96.0);
}
