#pragma once

class QWidget;

/// Rescales the fonts of the controls placed directly on form when the screen's logical
/// resolution is not 96 pixels per inch: each font height is multiplied by the form's character
/// height divided by 11, truncated. Calling it again on the same form does not compound the factor.
void ScaleFonts(QWidget* form);

/// ScaleFonts as on a screen of logicalDpi pixels per inch.
void ScaleFonts(QWidget* form, int logicalDpi);

/// The factor ScaleFonts applies for a form whose font is pixelHeight pixels high at logicalDpi.
int FontScaleFactor(int logicalDpi, int pixelHeight);

class QFont;

/// Gives font the character height of pixels96 pixels on a screen of 96 pixels per inch, as a
/// point size: it follows the desktop's font resolution instead of staying fixed in pixels.
void SetCharacterHeight(QFont& font, int pixels96);
