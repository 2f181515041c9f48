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
