#include "platform/dialogs/SaveFileDialog.h"

#include "platform/dialogs/QtPanelFactory.h"

#include <QBoxLayout>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>

#include <vector>

using namespace Qt::StringLiterals;

namespace {

// Moves everything in the grid one row down and puts widget in the free top
// row, across all columns.
void placeOnTop(QGridLayout *grid, QWidget *widget)
{
    struct Cell {
        QLayoutItem *item;
        int row, column, rowSpan, columnSpan;
    };
    std::vector<Cell> cells;
    for (int i = grid->count() - 1; i >= 0; --i) {
        Cell cell{};
        grid->getItemPosition(i, &cell.row, &cell.column, &cell.rowSpan, &cell.columnSpan);
        cell.item = grid->takeAt(i);
        cells.push_back(cell);
    }
    const int columns = grid->columnCount();
    for (const Cell &cell : cells)
        grid->addItem(cell.item, cell.row + 1, cell.column, cell.rowSpan, cell.columnSpan);
    grid->addWidget(widget, 0, 0, 1, columns);
}

} // namespace

SaveFileDialog::SaveFileDialog(QWidget *parent) : QFileDialog(parent)
{
    // Qt's own dialog everywhere: it has the layout the message goes into,
    // and it behaves the same on every desktop.
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
}

void SaveFileDialog::setAllowedFileTypes(const QStringList &types, bool allowsOthers)
{
    m_types = types;
    m_allowsOthers = allowsOthers;
    setNameFilter(QtPanelFactory::nameFilter(types));
    setDefaultSuffix(types.isEmpty() ? QString() : types.first());
}

void SaveFileDialog::setMessage(const QString &message)
{
    if (!m_messageLabel) {
        auto *label = new QLabel(this);
        label->setObjectName(u"messageLabel"_s);
        label->setWordWrap(true);
        label->setTextFormat(Qt::PlainText);
        if (auto *grid = qobject_cast<QGridLayout *>(layout()))
            placeOnTop(grid, label);
        else if (auto *box = qobject_cast<QBoxLayout *>(layout()))
            box->insertWidget(0, label);
        m_messageLabel = label;
    }
    m_messageLabel->setText(message);
    m_messageLabel->setVisible(!message.isEmpty());
}

QString SaveFileDialog::message() const
{
    return m_messageLabel ? m_messageLabel->text() : QString();
}

void SaveFileDialog::accept()
{
    if (!m_allowsOthers && !m_types.isEmpty()) {
        const QStringList files = selectedFiles();
        if (files.size() == 1) {
            const QFileInfo chosen(files.first());
            // A folder name is left alone: accepting it opens the folder.
            if (!chosen.fileName().isEmpty() && !chosen.isDir()
                && !m_types.contains(chosen.suffix(), Qt::CaseInsensitive)) {
                QString name = chosen.absoluteFilePath();
                if (!name.endsWith(u'.'))
                    name += u'.';
                // Through the name field, so that the dialog's own checks
                // (replacing an existing file) see the final name. The field
                // is not updated while it has the focus.
                if (QWidget *focused = focusWidget())
                    focused->clearFocus();
                selectFile(name + m_types.first());
            }
        }
    }
    QFileDialog::accept();
}
