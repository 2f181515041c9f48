#pragma once

#include <QString>
#include <string>
#include <string_view>

class QWidget;
class QUrl;

/// A name or value of the settings file as the window shows it: UTF-8 as it is, any other bytes
/// as the Windows code page the file came from.
QString ShownText(std::string_view bytes);

/// Opens a file (relative to the working directory) or a web address with the desktop's default
/// action. Whether anything opened is not reported.
void ShellOpen(const std::string& target);

/// What ShellOpen hands to the desktop for target.
QUrl ShellOpenUrl(const std::string& target);

/// Moves a top-level window so that it is centred on its screen's available area.
void CenterOnScreen(QWidget* window);

/// Title bar with only the close box, fixed border, no context-help button.
void SetFixedDialogFlags(QWidget* dialog);
