#pragma once
// The program's message boxes behind one small interface, so that tests can
// read the text and give the answer. Every box is modal, owned by `owner`,
// titled "Vorlinq". Called on the main thread; a worker thread reaches them
// through its hand-over (Synchronize) and waits for the answer.

#include <QString>

class QWidget;

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // Error icon, one OK button.
    virtual void Error(QWidget* owner, const QString& text) = 0;
    // Information icon, one OK button.
    virtual void Information(QWidget* owner, const QString& text) = 0;
    // Question icon, Yes and No, No the default. True for Yes.
    virtual bool Question(QWidget* owner, const QString& text) = 0;
};

// The boxes in use: real QMessageBox dialogs unless a test installs others.
MessageBoxes& Boxes();
void SetBoxes(MessageBoxes* boxes); // nullptr restores the real boxes

// The title of every box.
inline constexpr const char* kBoxTitle = "Vorlinq";
