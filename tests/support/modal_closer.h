#pragma once
// Answers the next modal box of a widget test: waits (bounded) on the event loop for a
// QMessageBox to open, keeps its text and font and accepts it.

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <memory>

namespace test_support {

class ModalCloser {
 public:
  // Starts watching; the box is answered whenever it opens during the next few seconds.
  ModalCloser() { Poll(); }
  bool Seen() const { return *seen_; }
  QString Text() const { return *text_; }
  QString ObjectName() const { return *name_; }
  QFont Font() const { return *font_; }

 private:
  void Poll() {
    auto seen = seen_;
    auto text = text_;
    auto name = name_;
    auto font = font_;
    auto tries = std::make_shared<int>(0);
    auto timer = new QTimer(qApp);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!*seen && box != nullptr) {
        *seen = true;
        *text = box->text();
        *name = box->objectName();
        *font = box->font();
        box->accept();
      }
      if (*seen || ++*tries > 500) timer->deleteLater();
    });
    timer->start();
  }

  std::shared_ptr<bool> seen_ = std::make_shared<bool>(false);
  std::shared_ptr<QString> text_ = std::make_shared<QString>();
  std::shared_ptr<QString> name_ = std::make_shared<QString>();
  std::shared_ptr<QFont> font_ = std::make_shared<QFont>();
};

}  // namespace test_support
