#pragma once
// A keypad panel: a plain area framed by a lowered outer and a raised inner
// bevel, one pixel each.

#include <QFrame>

class BevelPanel : public QFrame {
    Q_OBJECT

public:
    explicit BevelPanel(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};
