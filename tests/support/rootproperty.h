#pragma once

#include <QByteArray>

// A text property on the root window of the test's X display ($DISPLAY), held (with the
// connection that set it, so a server without other clients does not forget it) until the object
// goes, then removed.
class RootProperty
{
public:
    RootProperty(const char* name, const QByteArray& value);
    ~RootProperty();
    bool is_set() const { return display != nullptr; }

private:
    void* display = nullptr;
    unsigned long atom = 0;
};
