// The display window's action list and its menus.

#include "Mainform.h"

#include "DisplayAccessible.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>

namespace {

struct ActionSpec {
    QAction* TForm1::*member;
    const char* name;
    const char* category;
    const char* caption;
    const char* hint;
    QKeySequence shortcut;
};

} // namespace

std::array<QAction*, 18> TForm1::KeyActions() const
{
    return {actInput, actAnt,       actLMinus,     actLPlus,   actBandMinus, actBandPlus, actCMinus, actCPlus, actTune,
            actSet,   actLeftArrow, actRightArrow, actDisplay, actPower,     actOperate,  actCAT,    actOff,   actOn};
}

void TForm1::CreateActions()
{
    const QKeySequence none;
    // The action list in list order; the presets are inserted at their place below.
    const ActionSpec head[] = {
        {&TForm1::actOpen, "actOpen", "FileGroup", "&Connect", "", QKeySequence(Qt::CTRL | Qt::Key_Q)},
        {&TForm1::actClose, "actClose", "FileGroup", "&Disconnect", "", QKeySequence(Qt::CTRL | Qt::Key_S)},
        {&TForm1::actFreeze, "actFreeze", "ViewGroup", "&Freeze display", "", QKeySequence(Qt::CTRL | Qt::Key_F)},
        {&TForm1::actSave, "actSave", "FileGroup", "&Save STLL IMAGE", "", QKeySequence(Qt::CTRL | Qt::Key_V)},
        {&TForm1::actKeypad, "actKeypad", "ViewGroup", "&Full keypad On/Off", "", QKeySequence(Qt::CTRL | Qt::Key_K)},
        {&TForm1::actExit, "actExit", "FileGroup", "&Exit", "", none},
        {&TForm1::actInput, "actInput", "LeftGroup", "&INPUT", "Alt+I", none},
        {&TForm1::actSet, "actSet", "RightGroup", "&SET", "Alt+S", none},
        {&TForm1::actLeftArrow, "actLeftArrow", "RightGroup", "&-    ", "Alt+-", none},
        {&TForm1::actRightArrow, "actRightArrow", "RightGroup", "    &+", "Alt++", none},
        {&TForm1::actAnt, "actAnt", "LeftGroup", "&ANT", "Alt+A", none},
        {&TForm1::actLMinus, "actLMinus", "LeftGroup", "L      ", "Ctrl+L", none},
        {&TForm1::actLPlus, "actLPlus", "LeftGroup", "      &L", "Alt+L", none},
        {&TForm1::actBandMinus, "actBandMinus", "LeftGroup", "BAND", "Ctrl+B", none},
        {&TForm1::actBandPlus, "actBandPlus", "LeftGroup", "&BAND", "Alt+B", none},
        {&TForm1::actCMinus, "actCMinus", "LeftGroup", "C      ", "Ctrl+C", none},
        {&TForm1::actCPlus, "actCPlus", "LeftGroup", "      &C", "Alt+C", none},
        {&TForm1::actTune, "actTune", "LeftGroup", "T&UNE", "Alt+U", none},
        {&TForm1::actDisplay, "actDisplay", "RightGroup", "&DISPLAY", "Alt+D", none},
        {&TForm1::actPower, "actPower", "RightGroup", "&POWER", "Alt+P", none},
        {&TForm1::actOperate, "actOperate", "RightGroup", "&OPERATE", "Alt+O", none},
        {&TForm1::actCAT, "actCAT", "RightGroup", "CA&T", "Alt+T", none},
        {&TForm1::actJKeypad, "actJKeypad", "ViewGroup", "&Basic keypad On/Off", "",
         QKeySequence(Qt::CTRL | Qt::Key_J)},
        {&TForm1::actRecallKeypad, "actRecallKeypad", "ViewGroup", "", "",
         QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_K)},
        {&TForm1::actOff, "actOff", "RightGroup", "O&FF", "Alt+F", none},
        {&TForm1::actOn, "actOn", "RightGroup", "O&N", "Alt+N", none},
        {&TForm1::actLoadUpdate, "actLoadUpdate", "FileGroup", "&Firmware update", "",
         QKeySequence(Qt::CTRL | Qt::Key_U)},
    };
    const ActionSpec tail[] = {
        {&TForm1::actHome, "actHome", "ViewGroup", "&Home display && keypad", "", QKeySequence(Qt::CTRL | Qt::Key_H)},
        {&TForm1::actConfigureConnection, "actConfigureConnection", "FileGroup", "&Configure USB connection...", "",
         QKeySequence(Qt::CTRL | Qt::Key_Z)},
        {&TForm1::actPark, "actPark", "ViewGroup", "&Park keypad near display", "", QKeySequence(Qt::CTRL | Qt::Key_N)},
    };

    auto make = [this](const char* name, const char* category, const QString& caption, const QString& hint,
                       const QKeySequence& shortcut) {
        auto* action = new QAction(caption, this);
        action->setObjectName(name);
        action->setProperty("category", category);
        action->setToolTip(hint);
        action->setStatusTip(hint);
        action->setShortcut(shortcut);
        // Shortcuts of the display window work while a keypad window has the focus.
        action->setShortcutContext(Qt::ApplicationShortcut);
        ActionList1.push_back(action);
        return action;
    };

    for (const ActionSpec& a : head)
        this->*a.member = make(a.name, a.category, a.caption, a.hint, a.shortcut);
    for (int n = 1; n <= 5; ++n) {
        actPreset[n - 1] = make(qPrintable(QString("actPreset%1").arg(n)), "ViewGroup",
                                QString("Display Preset &%1").arg(n), "", QKeySequence(Qt::Key_F1 + (n - 1)));
    }
    actHome = make("actHome", "ViewGroup", tail[0].caption, "", tail[0].shortcut);
    for (int n = 1; n <= 5; ++n) {
        actDefPreset[n - 1] =
            make(qPrintable(QString("actDefPreset%1").arg(n)), "ViewGroup", QString("actDefPreset%1").arg(n), "",
                 QKeySequence(Qt::CTRL | (Qt::Key_F1 + (n - 1))));
    }
    actConfigureConnection = make(tail[1].name, tail[1].category, tail[1].caption, "", tail[1].shortcut);
    actPark = make(tail[2].name, tail[2].category, tail[2].caption, "", tail[2].shortcut);

    actAbout = new QAction("&About...", this);
    actAbout->setObjectName("mnuAbout");

    // Ctrl+E: the keypads look at Ctrl with A, B, C, D, I, L, N, O, P, S, T and
    // U, the window at K and F whatever the modifiers, and the other
    // shortcuts take Q, S, F, V, K, J, U, H, N and Z; E is free of them all.
    actCopyText = new QAction("Copy display &text", this);
    actCopyText->setObjectName("actCopyText");
    actCopyText->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    actCopyText->setShortcutContext(Qt::ApplicationShortcut);
    addAction(actCopyText);

    // A screen reader speaks the display's changed lines and lamps by
    // themselves while this is checked.
    actSpeakChanges = new QAction("Speak display &changes", this);
    actSpeakChanges->setObjectName("actSpeakChanges");
    actSpeakChanges->setCheckable(true);
    actSpeakChanges->setChecked(true);

    // Checkable actions.
    actFreeze->setCheckable(true);
    actKeypad->setCheckable(true);
    actJKeypad->setCheckable(true);
    presetGroup_ = new QActionGroup(this);
    presetGroup_->setExclusive(true);
    for (QAction* preset : actPreset) {
        preset->setCheckable(true);
        presetGroup_->addAction(preset);
    }
    actPreset[0]->setChecked(true);

    // State after creation.
    actClose->setEnabled(false);
    actFreeze->setEnabled(false);
    actSave->setEnabled(false);
    actLoadUpdate->setEnabled(false);

    // Every action with a shortcut is reachable from the keyboard through this
    // window, whether or not a menu shows it. actRecallKeypad has no handler:
    // it is kept off the window so that Ctrl+Alt+K reaches the key-down stage.
    for (QAction* action : ActionList1) {
        if (action != actRecallKeypad && !action->shortcut().isEmpty())
            addAction(action);
    }
}

void TForm1::CreateMenus()
{
    QMenu* file = menuBar()->addMenu("&File");
    file->addAction(actOpen);
    file->addAction(actClose);
    file->addAction(actConfigureConnection);
    file->addSeparator();
    file->addAction(actLoadUpdate);
    file->addSeparator();
    file->addAction(actExit);

    QMenu* view = menuBar()->addMenu("&View");
    view->addAction(actHome);
    view->addAction(actPark);
    view->addSeparator();
    view->addAction(actJKeypad);
    view->addAction(actKeypad);
    view->addSeparator();
    for (QAction* preset : actPreset)
        view->addAction(preset);
    view->addSeparator();
    view->addAction(actCopyText);
    view->addAction(actSpeakChanges);

    QMenu* help = menuBar()->addMenu("&Help");
    help->addAction(actAbout);

    popupMenu_ = new QMenu(this);
    popupMenu_->addAction(actHome);
    popupMenu_->addAction(actPark);
    popupMenu_->addSeparator();
    popupMenu_->addAction(actJKeypad);
    popupMenu_->addAction(actKeypad);
    popupMenu_->addSeparator();
    for (QAction* preset : actPreset)
        popupMenu_->addAction(preset);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { popupMenu_->popup(mapToGlobal(pos)); });
}

void TForm1::ConnectHandlers()
{
    connect(actOpen, &QAction::triggered, this, [this] { actOpenExecute(); });
    connect(actClose, &QAction::triggered, this, [this] { actCloseExecute(); });
    connect(actFreeze, &QAction::triggered, this, [this] { actFreezeExecute(); });
    connect(actSave, &QAction::triggered, this, [this] { actSaveExecute(); });
    connect(actExit, &QAction::triggered, this, [this] { close(); });
    connect(actLoadUpdate, &QAction::triggered, this, [this] { actLoadUpdateExecute(); });
    connect(actHome, &QAction::triggered, this, [this] { actHomeExecute(); });
    connect(actPark, &QAction::triggered, this, [this] { actParkExecute(); });
    connect(actConfigureConnection, &QAction::triggered, this, [this] { actConfigureConnectionExecute(); });
    connect(actAbout, &QAction::triggered, this, [this] { actAboutExecute(); });
    connect(actCopyText, &QAction::triggered, this, [this] { actCopyTextExecute(); });
    connect(actSpeakChanges, &QAction::toggled, displayAccess_, &a11y::DisplayAccess::SetSpeaking);
    for (int n = 1; n <= 5; ++n) {
        connect(actPreset[n - 1], &QAction::triggered, this, [this, n] { RecallPreset(n); });
        connect(actDefPreset[n - 1], &QAction::triggered, this, [this, n] { ResetPresetToDefault(n); });
    }
    ConnectKeyHandlers();
}
