// The progress of reading or writing a long file in the main window. The
// engine calls back after every block (on the UI thread, which does the
// work); once a file has taken half a second the status bar shows its name,
// a progress bar and Cancel. From then on the window keeps painting: every
// few hundredths of a second pending events are processed, with input held
// back from every widget but Cancel (the document must not change while it
// is read or written; a click elsewhere or a key press is dropped, closing
// the window is refused until the command ends). Cancel makes the engine
// stop, and the command leaves the document and the files as they were.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <functional>
#include <string>

class QLabel;
class QMainWindow;
class QProgressBar;
class QPushButton;
class QTimer;
class QWidget;

namespace tessal {

class tfileprogress : public QObject {
public:
    explicit tfileprogress(QMainWindow* window);
    ~tfileprogress() override;

    // The engine's callback: false when the user cancelled.
    bool report(const std::string& path, double fraction);
    bool showing() const;

    // Told once each time the bar appears (screenshots during loading).
    static std::function<void(QWidget* window)>& shown_hook();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void show_bar(const std::string& path, double fraction);
    void hide_bar();

    QMainWindow* window_;
    QPointer<QWidget> bar_;
    QLabel* label_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QTimer* idle_ = nullptr;
    QElapsedTimer started_, lastevents_, lastcall_;
    std::string path_;
    double last_ = 0;
    bool cancelled_ = false;
    bool filtering_ = false;
};

}  // namespace tessal
