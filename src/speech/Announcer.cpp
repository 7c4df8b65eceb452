#include "speech/Announcer.h"

#include "speech/SpokenChanges.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QStatusBar>
#include <QStringList>
#include <QtGlobal>

namespace a11y {

namespace {

class NoticeAccessible final : public QAccessibleWidget {
public:
    explicit NoticeAccessible(SpokenNotice* notice) : QAccessibleWidget(notice, QAccessible::Notification) {}

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name) {
            return static_cast<SpokenNotice*>(widget())->Text();
        }
        return QAccessibleWidget::text(t);
    }
};

} // namespace

SpokenNotice::SpokenNotice(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("SpokenNotice"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    setGeometry(0, 0, 0, 0);
}

QAccessibleInterface* NoticeInterface(QObject* object)
{
    if (auto* notice = qobject_cast<SpokenNotice*>(object)) {
        return new NoticeAccessible(notice);
    }
    return nullptr;
}

Announcer::Announcer(QWidget* display) : display_(display) {}

void Announcer::Say(const std::vector<Announcement>& round)
{
    if (round.empty() || !QAccessible::isActive()) {
        return;
    }
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    for (const Announcement& announcement : round) {
        QAccessibleAnnouncementEvent event(display_, announcement.text);
        event.setPoliteness(announcement.urgent ? QAccessible::AnnouncementPoliteness::Assertive
                                                : QAccessible::AnnouncementPoliteness::Polite);
        QAccessible::updateAccessibility(&event);
    }
#else
    if (!notice_) {
        QWidget* window = display_->window();
        QStatusBar* bar = window->findChild<QStatusBar*>();
        notice_ = new SpokenNotice(bar ? static_cast<QWidget*>(bar) : window);
    }
    QStringList texts;
    for (const Announcement& announcement : round) {
        texts.append(announcement.text);
    }
    notice_->SetText(texts.join(QLatin1Char('\n')));
    QAccessibleEvent shown(notice_, QAccessible::ObjectShow);
    QAccessible::updateAccessibility(&shown);
#endif
}

} // namespace a11y
