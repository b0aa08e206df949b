#pragma once

#include <utility>

namespace aimset {

// Assigns an observable field and emits its change signal only when the value
// actually changed. Returns whether it did.
template <typename Owner, typename Field, typename Value>
bool assignIfChanged(Owner* owner, Field& field, Value&& value, void (Owner::*changed)()) {
    if (field == value) {
        return false;
    }
    field = std::forward<Value>(value);
    (owner->*changed)();
    return true;
}

// Assigns an observable field and always emits its change signal, for fields
// whose observers must see every assignment, equal values included.
template <typename Owner, typename Field, typename Value>
void assignAndNotify(Owner* owner, Field& field, Value&& value, void (Owner::*changed)()) {
    field = std::forward<Value>(value);
    (owner->*changed)();
}

} // namespace aimset
