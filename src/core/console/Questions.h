#pragma once

#include <QString>

namespace kestrava {

// The notices and questions of the console's operations; the windows answer them with message boxes,
// tests with answers set in advance.
class Questions {
public:
    virtual ~Questions() = default;
    // An information box with OK.
    virtual void inform(const QString& text) = 0;
    // A question with Yes and No, No being the default; true for Yes.
    virtual bool confirm(const QString& text) = 0;
};

} // namespace kestrava
