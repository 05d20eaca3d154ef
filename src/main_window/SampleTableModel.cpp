#include "main_window/SampleTableModel.h"

#include "main_window/SampleTables.h"

SampleTableModel::SampleTableModel(QObject *parent)
    : QAbstractTableModel(parent),
      m_tables{SampleTables::people1(), SampleTables::people2(), SampleTables::people3(),
               SampleTables::people4(), SampleTables::people5()}
{
    static_assert(std::tuple_size_v<decltype(m_tables)> == SampleTables::tableCount);
}

const QList<Person> &SampleTableModel::people(int number) const
{
    const bool known = number >= 1 && number <= SampleTables::tableCount;
    return m_tables[known ? number - 1 : 0];
}

bool SampleTableModel::show(int number)
{
    if (number < 1 || number > SampleTables::tableCount)
        return false;
    if (number != m_shown) {
        beginResetModel();
        m_shown = number;
        endResetModel();
    }
    return true;
}

int SampleTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(people(m_shown).size());
}

int SampleTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 3;
}

QVariant SampleTableModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const Person &person = people(m_shown).at(index.row());
    if (role == Qt::UserRole)
        return person.id;
    if (role != Qt::DisplayRole)
        return {};
    const QString cells[] = {person.name, person.family, person.foods};
    return cells[index.column()];
}

QVariant SampleTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > 2)
        return QAbstractTableModel::headerData(section, orientation, role);
    const QString headers[] = {tr("Name"), tr("Family"), tr("Foods")};
    return headers[section];
}

Qt::ItemFlags SampleTableModel::flags(const QModelIndex &index) const
{
    return index.isValid() ? Qt::ItemIsEnabled : Qt::NoItemFlags;
}
