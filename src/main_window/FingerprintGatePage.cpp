#include "main_window/FingerprintGatePage.h"

#include "main_window/WorkAreaPage.h"
#include "platform/widgets/WrappingLabel.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

// Screen readers drop what does not concern the focus while the events of
// many new controls flood in; an announcement waits for them to pass.
constexpr std::chrono::milliseconds announceAfterBuild{800};

QLabel *titleLabel(const QString &text, const QString &name, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    QFont font = parent->font();
    font.setPointSizeF(font.pointSizeF() * 1.6);
    label->setFont(font);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

} // namespace

FingerprintGatePage::FingerprintGatePage(QWidget *parent)
    : QWidget(parent), m_panel(new QWidget(this)),
      m_statusTitle(titleLabel(QString(), u"statusTitle"_s, m_panel)),
      m_promptText(new WrappingLabel(QString(), m_panel)),
      m_touchIdButton(new QPushButton(tr("Touch IDで認証する"), m_panel))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(20);
    m_banner = titleLabel(tr("🔓 ロック解除済み"), u"banner"_s, this);
    layout->addWidget(m_banner);

    m_panel->setObjectName(u"contentPanel"_s);
    m_panel->setMinimumSize(300, 200);
    auto *panel = new QVBoxLayout(m_panel);
    panel->setSpacing(20);
    panel->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_panel);
    panel->addWidget(m_statusTitle);

    m_promptText->setObjectName(u"promptText"_s);
    m_promptText->setAlignment(Qt::AlignCenter);
    panel->addWidget(m_promptText);

    m_touchIdButton->setObjectName(u"touchIdButton"_s);
    m_touchIdButton->setToolTip(tr("マウスでクリック"));
    m_touchIdButton->setDefault(true);
    m_touchIdButton->setAutoDefault(true);
    connect(m_touchIdButton, &QPushButton::clicked, this, &FingerprintGatePage::touchIdClicked);
    panel->addWidget(m_touchIdButton, 0, Qt::AlignHCenter);
    // Return presses the default button of the panel.
    m_panel->installEventFilter(this);
}

void FingerprintGatePage::showState(bool authenticated, const QString &message, bool prompting)
{
    m_statusTitle->setText(authenticated ? tr("認証済み ✅") : tr("未認証"));
    m_promptText->setText(message);
    m_promptText->setVisible(prompting);
    m_touchIdButton->setVisible(prompting);
}

void FingerprintGatePage::showAlert(bool shown, const QString &message)
{
    if (!shown) {
        if (m_alert)
            m_alert->close();
        return;
    }
    if (!m_alert) {
        // The title is shown in the alert itself too: many desktops draw
        // dialogs without a title bar.
        m_alert = new QMessageBox(QMessageBox::Warning, tr("認証エラー"), tr("認証エラー"), QMessageBox::NoButton, this);
        m_alert->setObjectName(u"authAlert"_s);
        m_alert->setTextFormat(Qt::PlainText);
        if (auto *title = m_alert->findChild<QLabel *>(u"qt_msgbox_label"_s)) {
            QFont bold = title->font();
            bold.setBold(true);
            title->setFont(bold);
        }
        m_alert->addButton(tr("OK"), QMessageBox::RejectRole);
        m_alert->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_alert, &QMessageBox::finished, this, [this] {
            emit alertDismissed();
            returnFocus();
        });
        m_alert->open();
    }
    m_alert->setInformativeText(message);
    // The message is shown as written, never as markup.
    if (auto *shown = m_alert->findChild<QLabel *>(u"qt_msgbox_informativelabel"_s))
        shown->setTextFormat(Qt::PlainText);
}

void FingerprintGatePage::present()
{
    m_touchIdButton->setFocus();
    emit announcement(spokenState(true));
}

void FingerprintGatePage::addWorkArea(WorkAreaPage *workArea)
{
    if (workArea->layout())
        workArea->layout()->setSpacing(m_panel->layout()->spacing());
    m_panel->layout()->addWidget(workArea);
    activateWindow();
    workArea->focusFirst();
    QTimer::singleShot(announceAfterBuild, this, [this] {
        emit announcement(spokenState(false) + u'\n' + tr("作業エリアを表示しました"));
    });
}

QString FingerprintGatePage::spokenState(bool withBanner) const
{
    QStringList lines{m_statusTitle->text()};
    if (withBanner)
        lines.prepend(m_banner->text());
    if (m_promptText->isVisibleTo(this))
        lines.append(m_promptText->text());
    return lines.join(u'\n');
}

void FingerprintGatePage::returnFocus()
{
    if (m_touchIdButton->isVisible()) {
        activateWindow();
        m_touchIdButton->setFocus();
    }
}

bool FingerprintGatePage::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_panel && event->type() == QEvent::KeyPress && m_touchIdButton->isVisible()) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && key->modifiers() == Qt::NoModifier) {
            m_touchIdButton->click();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
