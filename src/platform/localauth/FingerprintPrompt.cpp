#include "platform/localauth/FingerprintPrompt.h"

#include "platform/widgets/WrappingLabel.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

FingerprintPrompt::FingerprintPrompt(const Texts &texts, const QString &reason, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(u"fingerprintPrompt"_s);
    setWindowTitle(texts.title);
    setModal(false);
    auto *layout = new QVBoxLayout(this);
    m_reason = new WrappingLabel(reason, this);
    QFont bold = m_reason->font();
    bold.setBold(true);
    m_reason->setFont(bold);
    layout->addWidget(m_reason);
    // Created after the reason, so a screen reader reads them in the order shown.
    m_hint = new WrappingLabel(texts.hint, this);
    m_hint->setObjectName(u"fingerprintHint"_s);
    layout->addWidget(m_hint);
    auto *buttons = new QDialogButtonBox(this);
    QPushButton *cancel = buttons->addButton(texts.cancel, QDialogButtonBox::RejectRole);
    cancel->setObjectName(u"fingerprintCancel"_s);
    layout->addWidget(buttons);
    // Closing the window or pressing Escape gives up as well.
    connect(this, &QDialog::rejected, this, &FingerprintPrompt::cancelled);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    setHint(m_hint->text());
}

void FingerprintPrompt::setHint(const QString &hint)
{
    m_hint->setText(hint);
    // Screen readers say a dialog's description when it opens; they skip its
    // labels when these are short, as Japanese sentences without spaces seem.
    setAccessibleDescription(m_reason->text() + u'\n' + hint);
    // A window follows its content's height only when asked: a longer hint
    // would be cut.
    if (isVisible())
        adjustSize();
}

QString FingerprintPrompt::hint() const
{
    return m_hint->text();
}
