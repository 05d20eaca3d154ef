#include "app/SettingsView.h"

#include "app/WrappingCheckBox.h"
#include "main_window/PreferenceKeys.h"
#include "platform/core/PreferenceStore.h"

#include <QAccessibleWidget>
#include <QHBoxLayout>
#include <QScrollArea>

namespace {

const QString &keyOf(int index)
{
    static const QString keys[] = {PreferenceKeys::intKeyToggle1, PreferenceKeys::intKeyToggle2,
                                   PreferenceKeys::intKeyToggle3};
    return keys[index];
}

// A plain top-level widget would reach assistive technology as a nameless
// filler; this one is a window of its own.
QAccessibleInterface *accessibleSettings(const QString &className, QObject *object)
{
    if (className == QLatin1String(SettingsView::staticMetaObject.className()) && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Window);
    return nullptr;
}

} // namespace

SettingsView::SettingsView(PreferenceStore &store, QWidget *parent) : QWidget(parent), m_store(store)
{
    static const bool accessibleFactory = [] {
        QAccessible::installFactory(accessibleSettings);
        return true;
    }();
    (void)accessibleFactory;
    setWindowTitle(tr("設定"));
    setMinimumSize(100, 100);
    setMaximumSize(200, 200);
    resize(200, 200);
    const QString labels[] = {tr("読込はrtfにする（拡張子txt推奨）"),
                              tr("indexの近くに動物を表示（再起動必要）"),
                              tr("起動時に文例を表示（再起動必要）")};
    auto *frame = new QHBoxLayout(this);
    frame->setContentsMargins(0, 0, 0, 0);
    // With a large font even wrapped labels outgrow the frame: it scrolls
    // rather than cuts them.
    auto *scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setFocusPolicy(Qt::NoFocus);
    frame->addWidget(scroll);
    auto *page = new QWidget(scroll);
    scroll->setWidget(page);
    auto *row = new QHBoxLayout(page);
    row->setContentsMargins(0, 0, 0, 0);
    for (int i = 0; i < 3; ++i) {
        // The label is the switch's own text, wrapped so the long texts fit
        // the small frame.
        m_toggles[i] = new WrappingCheckBox(labels[i], page);
        m_toggles[i]->setObjectName(QStringLiteral("toggle%1").arg(i + 1));
        row->addWidget(m_toggles[i], 1, Qt::AlignVCenter);
        // toggled, not clicked: assistive technology toggles without a click.
        connect(m_toggles[i], &QCheckBox::toggled, this,
                [this, i](bool on) { m_store.setInteger(keyOf(i), on ? 1 : 0); });
    }
    connect(&m_store, &PreferenceStore::valueChanged, this, &SettingsView::refresh);
    refresh();
}

void SettingsView::refresh()
{
    for (int i = 0; i < 3; ++i) {
        const QSignalBlocker blocker(m_toggles[i]);
        m_toggles[i]->setChecked(m_store.integer(keyOf(i)) == 1);
    }
}
