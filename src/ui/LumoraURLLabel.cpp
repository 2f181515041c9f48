#include "ui/LumoraURLLabel.h"

#include <QAccessibleWidget>
#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QProcess>
#include <QSet>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <QTimer>
#include <QUrl>

#include "platform/Files.h"
#include "platform/Text.h"
#include "ui/DialogArt.h"
#include "ui/QtUserInteraction.h"

namespace {
// One cursor slot for the whole program, as the link labels share it: loading a cursor into it
// changes the cursor of every label that uses the slot.
struct TCursorSlot {
  QCursor Cursor;
  QSet<TLumoraURLLabel*> Users;
};
TCursorSlot& Slot() {
  static TCursorSlot slot;
  return slot;
}
const char* CursorResource(TCustomCursor cursor) {
  switch (cursor) {
    case crMozilla:
      return "MOZILLA";
    case crMSIE:
      return "MSIE";
    case crHandHelp:
      return "HANDHELP";
    case crDefaultCursor:
      break;
  }
  return "";
}
void LoadSlot(TCustomCursor cursor) {
  TCursorSlot& slot = Slot();
  slot.Cursor = LinkCursor(CursorResource(cursor));
  for (TLumoraURLLabel* label : slot.Users) label->setCursor(slot.Cursor);
}
}  // namespace

namespace {

// A screen reader meets the label as what it is: a link, with an action that opens it and one
// that offers its menu. The address is the link's value.
class TLinkAccessible : public QAccessibleWidget {
 public:
  explicit TLinkAccessible(TLumoraURLLabel* label) : QAccessibleWidget(label, QAccessible::Link) {}

  QString text(QAccessible::Text kind) const override {
    const auto* label = static_cast<const TLumoraURLLabel*>(widget());
    if (kind == QAccessible::Name) return label->text();
    if (kind == QAccessible::Value) return label->Url;
    return QAccessibleWidget::text(kind);
  }
  QStringList actionNames() const override { return {pressAction(), showMenuAction()}; }
  void doAction(const QString& action) override {
    auto* label = static_cast<TLumoraURLLabel*>(widget());
    // After the reader's request has been answered: opening may show a box of its own.
    if (action == pressAction())
      QTimer::singleShot(0, label, [label] { label->OpenLink(); });
    else if (action == showMenuAction())
      QTimer::singleShot(0, label, [label] {
        label->PopupMenu()->popup(label->mapToGlobal(QPoint(0, label->height())));
      });
  }
};

QAccessibleInterface* LinkAccessibleFactory(const QString& className, QObject* object) {
  if (className == QLatin1String("TLumoraURLLabel") && object && object->isWidgetType())
    return new TLinkAccessible(static_cast<TLumoraURLLabel*>(object));
  return nullptr;
}

}  // namespace

TLumoraURLLabel::TLumoraURLLabel(QWidget* parent) : QLabel(parent) {
  static const bool linkFactory = (QAccessible::installFactory(LinkAccessibleFactory), true);
  (void)linkFactory;
  QFont f = font();
  f.setUnderline(true);
  setFont(f);
  QPalette pal = palette();
  pal.setColor(QPalette::WindowText, QColor(0, 0, 255));
  setPalette(pal);
  FNormalColor = FontColor();
  ColorMouseOver = QColor(255, 0, 0);
  ColorActive = QColor(128, 0, 128);
  FPopupString = QStringLiteral("Copy Link Location");
  Url = QStringLiteral("http://startvelk.example.org/");
  FPopupMenu = new QMenu(this);
  connect(FPopupMenu, &QMenu::aboutToShow, this, &TLumoraURLLabel::PopupReset);
  FMenuItem = FPopupMenu->addAction(FPopupString);
  FMenuItem->setObjectName(QStringLiteral("MenuItem"));
  connect(FMenuItem, &QAction::triggered, this, &TLumoraURLLabel::CopyLinkLocation);
  setContextMenuPolicy(Qt::DefaultContextMenu);
  // Reached by Tab like a link in a web page: Enter or Space opens it, the menu key (or
  // Shift+F10) offers the copy entry; screen readers see a link.
  setFocusPolicy(Qt::StrongFocus);
  SetCursorMouseOver(crMozilla);
}

TLumoraURLLabel::~TLumoraURLLabel() {
  Slot().Users.remove(this);
}

void TLumoraURLLabel::SetCursorMouseOver(TCustomCursor cursor) {
  if (cursor == crDefaultCursor) {
    Slot().Users.remove(this);
    setCursor(Qt::ArrowCursor);
  } else {
    Slot().Users.insert(this);
    LoadSlot(cursor);
  }
  FCursorMouseOver = cursor;
}

QCursor TLumoraURLLabel::SharedCursor() {
  return Slot().Cursor;
}

void TLumoraURLLabel::SetPopupString(const QString& text) {
  FMenuItem->setText(text);
  FPopupString = text;
}

QColor TLumoraURLLabel::FontColor() const {
  return palette().color(QPalette::WindowText);
}

void TLumoraURLLabel::UpdateColor() {
  QColor color = FNormalColor;
  if (FMouseOver) color = FMouseDown ? ColorActive : ColorMouseOver;
  if (color == FontColor()) return;
  QPalette pal = palette();
  pal.setColor(QPalette::WindowText, color);
  setPalette(pal);
}

void TLumoraURLLabel::SetHover(bool over) {
  FMouseOver = over;
  UpdateColor();
}

void TLumoraURLLabel::enterEvent(QEnterEvent* event) {
  SetHover(true);
  QLabel::enterEvent(event);
}

void TLumoraURLLabel::leaveEvent(QEvent* event) {
  SetHover(false);
  QLabel::leaveEvent(event);
}

void TLumoraURLLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) FMouseDown = true;
  FMouseOver = true;
  UpdateColor();
  QLabel::mousePressEvent(event);
  emit OnMouseDown(event);
}

void TLumoraURLLabel::mouseMoveEvent(QMouseEvent* event) {
  // While a button is held the label keeps the mouse, and leaving shows only as moves outside.
  const bool inside = rect().contains(event->position().toPoint());
  if (event->buttons() != Qt::NoButton && inside != FMouseOver) SetHover(inside);
  QLabel::mouseMoveEvent(event);
  emit OnMouseMove(event);
}

void TLumoraURLLabel::mouseReleaseEvent(QMouseEvent* event) {
  const bool left = event->button() == Qt::LeftButton;
  if (left) FMouseDown = false;
  UpdateColor();
  const bool open = FMouseOver && left;
  if (open) OpenLink();
  QLabel::mouseReleaseEvent(event);
  emit OnMouseUp(event);
  if (open) emit OnClick();
}

void TLumoraURLLabel::contextMenuEvent(QContextMenuEvent* event) {
  // From the keyboard the menu opens below the label rather than at the mouse.
  const QPoint at = event->reason() == QContextMenuEvent::Keyboard
                        ? mapToGlobal(rect().bottomLeft())
                        : event->globalPos();
  FPopupMenu->popup(at);
  if (event->reason() == QContextMenuEvent::Keyboard) FPopupMenu->setActiveAction(FMenuItem);
  event->accept();
}

void TLumoraURLLabel::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
      if (event->modifiers() & ~Qt::KeypadModifier) break;
      OpenLink();
      emit OnClick();
      event->accept();
      return;
    case Qt::Key_F10:
      if (event->modifiers() != Qt::ShiftModifier) break;
      {
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, rect().bottomLeft(),
                               mapToGlobal(rect().bottomLeft()));
        contextMenuEvent(&menu);
      }
      event->accept();
      return;
    default:
      break;
  }
  QLabel::keyPressEvent(event);
}

void TLumoraURLLabel::paintEvent(QPaintEvent* event) {
  QLabel::paintEvent(event);
  if (!hasFocus()) return;
  // The label draws no focus of its own; the style's focus frame shows where Enter acts.
  QStylePainter painter(this);
  QStyleOptionFocusRect option;
  option.initFrom(this);
  option.backgroundColor = palette().color(QPalette::Window);
  painter.drawPrimitive(QStyle::PE_FrameFocusRect, option);
}

void TLumoraURLLabel::PopupReset() {
  FMouseOver = false;
  FMouseDown = false;
  UpdateColor();
}

void TLumoraURLLabel::CopyLinkLocation() {
  QGuiApplication::clipboard()->setText(Url);
}

void TLumoraURLLabel::OpenLink() {
  std::string command = BrowserCommandSource ? BrowserCommandSource() : GetBrowserCommand();
  for (std::size_t pos; (pos = command.find("%1")) != std::string::npos;) command.erase(pos, 2);
  if (!command.empty() && platform::FileExists(command)) {
    QProcess::startDetached(QFile::decodeName(QByteArray::fromStdString(command)), {Url});
    return;
  }
  if (!QDesktopServices::openUrl(QUrl(Url)))
    QtUserInteraction().MessageDlg(
        "Cannot open " + Url.toStdString() +
            ":\rno program of the desktop opens it (xdg-open was not found or failed).",
        TMsgDlgType::mtError, mbOK);
}
