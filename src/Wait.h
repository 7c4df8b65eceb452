#pragma once
// The progress window of Connect: a bar that counts the open attempts and a
// button that aborts them. Aborting is nothing but hiding the window; the
// connect job sees that through Showing() and stops after its current attempt.

#include <QWidget>

#include <atomic>

class QProgressBar;
class QPushButton;

class TWaitForm final : public QWidget {
    Q_OBJECT

public:
    explicit TWaitForm(QWidget* parent = nullptr);

    // Whether the window is shown. Written on the main thread only, safe to
    // read from the connect job's worker thread.
    bool Showing() const { return showing_.load(); }

    void setVisible(bool visible) override;

    // Hides the window: the user aborts the connect.
    void btnAbortClick();

    QProgressBar* pbWait = nullptr;
    QPushButton* btnAbort = nullptr;

protected:
    // The title-bar close box aborts like the button.
    void closeEvent(QCloseEvent* event) override;

private:
    std::atomic<bool> showing_{false};
};
