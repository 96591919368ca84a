#include "shell/help_widget.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QWidget>

#include "base/ui_helpers_widget.h"

namespace qm {

HelpDesk::HelpDesk(const std::filesystem::path& root, OperatorUi& ui, QWidget* main_window,
                   DocumentOpener open_document)
    : ui_(ui),
      main_window_(main_window),
      open_document_(open_document ? std::move(open_document) : DocumentOpener(&qm::open_document)),
      server_(root) {}

HelpDesk::~HelpDesk() {
  stop();
}

void HelpDesk::start(std::uint16_t port) {
  // A server that cannot listen leaves the help to the page's file.
  server_.start(port);
  if (!filtering_ && qApp != nullptr) {
    qApp->installEventFilter(this);
    filtering_ = true;
  }
}

void HelpDesk::stop() {
  if (filtering_ && qApp != nullptr) qApp->removeEventFilter(this);
  filtering_ = false;
  server_.stop();
}

void HelpDesk::open(std::string_view topic) {
  open_help_page(server_, ui_, open_document_, kHelpPageName, topic);
}

bool HelpDesk::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress || static_cast<QKeyEvent*>(event)->key() != Qt::Key_F1 ||
      !watched->isWidgetType())
    return QObject::eventFilter(watched, event);
  // The key is taken here, so that it is not handed on to the parents: one page per press.
  event->accept();
  const QWidget* window = static_cast<QWidget*>(watched)->window();
  if (window == nullptr || window == main_window_ || qobject_cast<const QMenu*>(window)) {
    open();
  } else {
    open(window->windowTitle().left(kHelpTopicLength).toStdString());
  }
  return true;
}

}  // namespace qm
