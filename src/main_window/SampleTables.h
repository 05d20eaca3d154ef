#pragma once

#include "main_window/Person.h"

#include <QList>

// The five fixed sample tables; each call makes fresh rows with new identities.
namespace SampleTables {

QList<Person> people1();
QList<Person> people2();
QList<Person> people3();
QList<Person> people4();
QList<Person> people5();

constexpr int tableCount = 5;

// The selector's next value: 1, 2, 3, 4, 5 and back to 1.
constexpr int nextPeopleNum(int peopleNum)
{
    const int next = peopleNum + 1;
    return next > tableCount ? 1 : next;
}

} // namespace SampleTables
