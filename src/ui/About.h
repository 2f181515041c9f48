#pragma once

#include <QDialog>
#include <string>

class QFrame;
class QLabel;
class QPushButton;
class TLumoraURLLabel;

/// The version text the About box shows.
extern std::string AboutVersion;

/// The About box: the front-end's logo and version, the emulator's logo and the authors as links.
class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutBox(QWidget* parent = nullptr);
  ~TAboutBox() override;

  /// The box the program created at start-up, if any.
  static TAboutBox* Instance();

  QFrame* Bevel1;
  QLabel* Image1;
  QLabel* versionlabel;
  QLabel* Label1;
  TLumoraURLLabel* FrontendAuthorLabel;
  QLabel* Label2;
  QLabel* Image2;
  QLabel* Label4;
  TLumoraURLLabel* EmuAuthorLabel;
  QLabel* Label3;
  TLumoraURLLabel* LumoraURLLabel1;
  QPushButton* OKBtn;

 protected:
  void showEvent(QShowEvent* event) override;
};

/// Sets AboutVersion to version and shows the About box modally.
void ShowAbout(const std::string& version);
