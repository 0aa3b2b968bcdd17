#pragma once

#include <QString>

namespace kestrava {

// Keys of the tree nodes; the first character tells the kind.
namespace Keys {

inline constexpr int kMaxSystemKeyLength = 50;
inline constexpr int kMaxComputerNameLength = 30;

QString rootKey();  // "rComputers"
QString rootText(); // "Computers"

bool Is_Root_Key(const QString& key);
bool Is_Group_Key(const QString& key);
bool Is_System_Key(const QString& key);

// "g" SEP name in upper case.
QString Make_Group_Key(const QString& groupName);
// "c" SEP identifier SEP computer name SEP, cut to 50 characters.
QString Make_System_Key(const QString& identifier, const QString& computerName);
// Field 2 of a system key: the computer name, or "" when the cut removed its separator.
QString Get_System_Field_From_Key(const QString& key);

} // namespace Keys

} // namespace kestrava
