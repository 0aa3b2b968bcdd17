#pragma once

#include "agent/policy/Policy.h"

#include <QJsonObject>
#include <optional>

namespace kestrava::agent {

// The orders in the state file's form and back. A stored form that cannot be read gives nothing,
// never a half-filled policy.
namespace OrdersJson {

QJsonObject toJson(const Orders& orders);
std::optional<Orders> fromJson(const QJsonObject& object);

} // namespace OrdersJson

} // namespace kestrava::agent
