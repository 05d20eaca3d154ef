#include "platform/dialogs/OpenFileDialog.h"

#include "platform/dialogs/QtPanelFactory.h"

#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>

using namespace Qt::StringLiterals;

OpenFileDialog::OpenFileDialog(QWidget *parent) : QFileDialog(parent)
{
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(QFileDialog::AcceptOpen);
}

void OpenFileDialog::setAllowedFileTypes(const QStringList &types)
{
    m_types = types;
    if (!types.isEmpty())
        setNameFilter(QtPanelFactory::nameFilter(types));
}

bool OpenFileDialog::isAllowed(const QString &path, const QStringList &types)
{
    return types.isEmpty() || types.contains(QFileInfo(path).suffix(), Qt::CaseInsensitive);
}

void OpenFileDialog::accept()
{
    for (const QString &file : selectedFiles()) {
        const QFileInfo chosen(file);
        // A folder is left to the dialog (it opens it), and so is a name that
        // does not exist (the dialog says so itself).
        if (!chosen.isFile() || isAllowed(file, m_types))
            continue;
        auto *box = new QMessageBox(QMessageBox::Warning, windowTitle(),
                                    tr("「%1」は開けません。").arg(chosen.fileName()), QMessageBox::Ok, this);
        box->setObjectName(u"refusedType"_s);
        box->setTextFormat(Qt::PlainText);
        box->setInformativeText(tr("拡張子が%1のファイルを選んでください。")
                                    .arg(QLocale().createSeparatedList(m_types)));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        return;
    }
    QFileDialog::accept();
}
