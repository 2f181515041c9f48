#pragma once

#include <QString>
#include <string>
#include <string_view>
#include <vector>

class QWidget;
class TUserInteraction;
class QUrl;

/// A name or value of the settings file as the window shows it: UTF-8 as it is, any other bytes
/// as the Windows code page the file came from.
QString ShownText(std::string_view bytes);

/// Opens a file (relative to the working directory) or a web address with the desktop's default
/// action. True when the desktop took it.
bool ShellOpen(const std::string& target);

/// Opens the first of places that exists (files) or the address among them; when nothing opens,
/// an error box through ui names what was tried.
void OpenOrSay(const std::vector<std::string>& places, TUserInteraction& ui);

/// Where the program's own document name is looked for: the emulator's folder gameDir, where the
/// program's data is installed (../share/startvelk beside its folder), and the program's folder.
std::vector<std::string> ProgramDocumentPlaces(const std::string& name, const std::string& gameDir);

/// What ShellOpen hands to the desktop for target.
QUrl ShellOpenUrl(const std::string& target);

/// Moves a top-level window so that it is centred on its screen's available area.
void CenterOnScreen(QWidget* window);

/// Title bar with only the close box, fixed border, no context-help button.
void SetFixedDialogFlags(QWidget* dialog);

/// The window the program's kept dialogs (About, Screenshot Timer, Zip Rompath) belong to. They
/// are made on first use, as its children, rather than at every start, and kept for later uses.
void SetDialogOwner(QWidget* owner);
QWidget* DialogOwner();

/// Shows the program's dialog of type TForm modally: the kept one, made now for the owner if
/// there is none; where no owner is set, one for this use only.
template <class TForm>
void ExecKeptDialog() {
  if (TForm* form = TForm::Instance()) {
    form->exec();
  } else if (QWidget* owner = DialogOwner()) {
    (new TForm(owner))->exec();
  } else {
    TForm form;
    form.exec();
  }
}
