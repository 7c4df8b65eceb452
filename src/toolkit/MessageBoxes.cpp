#include "toolkit/MessageBoxes.h"

#include <QMessageBox>

#include <atomic>

namespace {

class RealBoxes final : public MessageBoxes {
public:
    void Error(QWidget* owner, const QString& text) override
    {
        QMessageBox::critical(owner, kBoxTitle, text, QMessageBox::Ok);
    }
    void Information(QWidget* owner, const QString& text) override
    {
        QMessageBox::information(owner, kBoxTitle, text, QMessageBox::Ok);
    }
    bool Question(QWidget* owner, const QString& text) override
    {
        return QMessageBox::question(owner, kBoxTitle, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
               QMessageBox::Yes;
    }
};

RealBoxes g_realBoxes;
std::atomic<MessageBoxes*> g_boxes{nullptr};

} // namespace

MessageBoxes& Boxes()
{
    MessageBoxes* boxes = g_boxes.load();
    return boxes ? *boxes : g_realBoxes;
}

void SetBoxes(MessageBoxes* boxes)
{
    g_boxes.store(boxes);
}
