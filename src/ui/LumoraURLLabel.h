#pragma once

#include <QColor>
#include <QLabel>
#include <QString>
#include <functional>
#include <string>

class QAction;
class QMenu;

enum TCustomCursor { crDefaultCursor, crMozilla, crMSIE, crHandHelp };

/// The command line registered for opening web pages; empty where the system keeps none (always
/// on Linux, where the desktop picks the browser).
std::string GetBrowserCommand();

/// A text label that looks and behaves like a web link: it changes colour under the mouse, opens
/// Url on a left click and offers a popup entry that copies Url.
class TLumoraURLLabel : public QLabel {
  Q_OBJECT

 public:
  explicit TLumoraURLLabel(QWidget* parent = nullptr);
  ~TLumoraURLLabel() override;

  QColor ColorMouseOver;
  QColor ColorActive;
  QString Url;

  TCustomCursor CursorMouseOver() const { return FCursorMouseOver; }
  void SetCursorMouseOver(TCustomCursor cursor);
  const QString& PopupString() const { return FPopupString; }
  void SetPopupString(const QString& text);

  QMenu* PopupMenu() const { return FPopupMenu; }
  QColor NormalColor() const { return FNormalColor; }
  QColor FontColor() const;
  bool MouseOver() const { return FMouseOver; }
  bool MouseDown() const { return FMouseDown; }

  /// Where the browser command comes from; GetBrowserCommand unless replaced (tests do).
  std::function<std::string()> BrowserCommandSource;

  /// Opens Url with the registered browser when its command is a bare program path, else hands
  /// Url to the desktop.
  void OpenLink();
  /// Copies Url to the clipboard as text.
  void CopyLinkLocation();

  /// The cursor every label with a cursor of its own shows: the one that was loaded last.
  static QCursor SharedCursor();

 signals:
  void OnMouseDown(QMouseEvent* event);
  void OnMouseMove(QMouseEvent* event);
  void OnMouseUp(QMouseEvent* event);
  void OnClick();

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void UpdateColor();
  void SetHover(bool over);
  void PopupReset();

  TCustomCursor FCursorMouseOver = crMozilla;
  QString FPopupString;
  QColor FNormalColor;
  bool FMouseOver = false;
  bool FMouseDown = false;
  QMenu* FPopupMenu = nullptr;
  QAction* FMenuItem = nullptr;
};
