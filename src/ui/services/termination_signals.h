#pragma once

#include <QObject>

class QSocketNotifier;

namespace vexa::ui {

// SIGTERM (a logout, a shutdown, kill), SIGINT (Ctrl-C in the terminal) and SIGHUP (the terminal
// or the remote session closed) as events of the window system's loop, so the program can close
// its main window as the close box would:
// settings written, loops ended. The handler only writes the signal's number into a pipe; the
// pipe's notifier emits `requested` on the event loop. A second signal of the same kind ends
// the program at once, for a program that no longer answers.
class TerminationSignals : public QObject {
  Q_OBJECT

 public:
  explicit TerminationSignals(QObject* parent = nullptr);
  // Restores the default handling.
  ~TerminationSignals() override;
  bool installed() const { return notifier_ != nullptr; }

 signals:
  void requested(int signalNumber);

 private:
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace vexa::ui
