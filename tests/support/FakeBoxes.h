#pragma once
// Message boxes for tests: records every box and answers questions with a
// preset answer. Installed for the lifetime of the object.

#include "toolkit/MessageBoxes.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <mutex>
#include <vector>

class FakeBoxes final : public MessageBoxes {
public:
    struct Shown {
        QString kind; // "error", "information", "question"
        QString text;
        QWidget* owner = nullptr;
    };

    FakeBoxes() { SetBoxes(this); }
    ~FakeBoxes() override { SetBoxes(nullptr); }

    void Error(QWidget* owner, const QString& text) override { Record("error", owner, text); }
    void Information(QWidget* owner, const QString& text) override { Record("information", owner, text); }
    bool Question(QWidget* owner, const QString& text) override
    {
        Record("question", owner, text);
        if (whileAsking)
            whileAsking();
        return answerYes;
    }

    std::vector<Shown> All() const
    {
        std::lock_guard lock(mutex_);
        return shown_;
    }
    int Count() const
    {
        std::lock_guard lock(mutex_);
        return static_cast<int>(shown_.size());
    }
    Shown Last() const
    {
        std::lock_guard lock(mutex_);
        return shown_.empty() ? Shown{} : shown_.back();
    }
    void Clear()
    {
        std::lock_guard lock(mutex_);
        shown_.clear();
    }

    bool answerYes = false;
    // Runs while a question is open, before it is answered (what happens
    // meanwhile: the link going away, say).
    std::function<void()> whileAsking;

private:
    void Record(const char* kind, QWidget* owner, const QString& text)
    {
        std::lock_guard lock(mutex_);
        shown_.push_back({kind, text, owner});
    }
    mutable std::mutex mutex_;
    std::vector<Shown> shown_;
};
