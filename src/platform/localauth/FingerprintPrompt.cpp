#include "platform/localauth/FingerprintPrompt.h"

#include "platform/widgets/WrappingLabel.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

FingerprintPrompt::FingerprintPrompt(const QString &reason, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(u"fingerprintPrompt"_s);
    setWindowTitle(tr("指紋認証"));
    setModal(false);
    auto *layout = new QVBoxLayout(this);
    auto *reasonLabel = new WrappingLabel(reason, this);
    QFont bold = reasonLabel->font();
    bold.setBold(true);
    reasonLabel->setFont(bold);
    layout->addWidget(reasonLabel);
    // Created after the reason, so a screen reader reads them in the order shown.
    m_hint = new WrappingLabel(tr("指紋リーダーに指を触れてください"), this);
    m_hint->setObjectName(u"fingerprintHint"_s);
    layout->addWidget(m_hint);
    auto *buttons = new QDialogButtonBox(this);
    QPushButton *cancel = buttons->addButton(tr("キャンセル"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(u"fingerprintCancel"_s);
    layout->addWidget(buttons);
    // Closing the window or pressing Escape gives up as well.
    connect(this, &QDialog::rejected, this, &FingerprintPrompt::cancelled);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void FingerprintPrompt::setHint(const QString &hint)
{
    m_hint->setText(hint);
    // A window follows its content's height only when asked: a longer hint
    // would be cut.
    if (isVisible())
        adjustSize();
}

QString FingerprintPrompt::hint() const
{
    return m_hint->text();
}
