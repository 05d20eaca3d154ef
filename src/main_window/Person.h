#pragma once

#include <QString>
#include <QUuid>

// One row of a sample table. Every record gets an identity of its own, so rows
// with the same text are still distinct rows.
struct Person {
    Person(QString name, QString family, QString foods)
        : name(std::move(name)), family(std::move(family)), foods(std::move(foods)),
          id(QUuid::createUuid())
    {
    }

    QString name;
    QString family;
    QString foods;
    QUuid id;
};
