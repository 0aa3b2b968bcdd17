#pragma once

#include "core/store/Database.h"

#include <QString>

// Puts entry into its catalogue and moves it onto the group's list, as the console's list windows do;
// returns the group key that closing the list sends its lists to, as the console would.
template <typename CatalogueType, typename ListType>
QString addToGroupList(kestrava::Database& db, const QString& groupKey, const QString& entry) {
    CatalogueType catalogue(db);
    catalogue.load();
    catalogue.add(entry);
    ListType list(db);
    list.setGroupKey(groupKey);
    list.load();
    list.moveTo({static_cast<int>(list.available().indexOf(entry))});
    return list.keyToSendOnClose();
}
