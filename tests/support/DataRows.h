#pragma once

#include <QTest>

#include <initializer_list>
#include <tuple>

// Columns of a data-driven test: one type per name, in order.
template <typename... T> void addColumns(std::initializer_list<const char*> names)
{
    auto name = names.begin();
    (QTest::addColumn<T>(*name++), ...);
}
// The current row's values of the named columns, as QFETCH takes them.
template <typename... T, typename... Name> std::tuple<T...> fetch(Name... names)
{
    return {*static_cast<T*>(QTest::qData(names, qMetaTypeId<T>()))...};
}
