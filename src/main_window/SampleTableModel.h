#pragma once

#include "main_window/Person.h"

#include <QAbstractTableModel>
#include <QList>

#include <array>

// The five sample tables, made once with the view, and the one on show:
// three read-only columns, with each row's identity under Qt::UserRole.
class SampleTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit SampleTableModel(QObject *parent = nullptr);

    // Tables are numbered from 1; any other number gives the first.
    [[nodiscard]] const QList<Person> &people(int number) const;
    // Shows table `number`; false (and nothing changed) when there is none.
    bool show(int number);

    [[nodiscard]] int rowCount(const QModelIndex &parent = {}) const override;
    [[nodiscard]] int columnCount(const QModelIndex &parent = {}) const override;
    [[nodiscard]] QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                      int role = Qt::DisplayRole) const override;
    [[nodiscard]] Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    std::array<QList<Person>, 5> m_tables;
    int m_shown = 1;
};
