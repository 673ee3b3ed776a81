// Loaded into a Qt program by startup_bench (LD_PRELOAD), so that the program itself is timed
// unchanged: when its first window is shown the probe writes "shown", when that window has
// painted itself "painted", and then it ends the program at once.

#include <QCoreApplication>
#include <QEvent>

#include <cstddef>

#include <unistd.h>

namespace {

class WindowProbe : public QObject {
  public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // A window is a widget without a parent.
        if (!watched->isWidgetType() || watched->parent()) return false;
        if (event->type() == QEvent::Show && !m_window) {
            m_window = watched;
            Say("shown\n");
        } else if (event->type() == QEvent::Paint && watched == m_window) {
            Say("painted\n");
            ::_exit(0);
        }
        return false;
    }

  private:
    template <std::size_t N>
    static void Say(const char (&line)[N]) {
        if (::write(STDOUT_FILENO, line, N - 1) < 0) ::_exit(1);
    }
    QObject* m_window = nullptr;
};

void InstallProbe() {
    QCoreApplication::instance()->installEventFilter(new WindowProbe);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(InstallProbe)
