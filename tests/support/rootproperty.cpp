#include "rootproperty.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

RootProperty::RootProperty(const char* name, const QByteArray& value)
{
    Display* x = XOpenDisplay(nullptr);
    if (!x)
        return;
    atom = XInternAtom(x, name, False);
    XChangeProperty(x, DefaultRootWindow(x), atom, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(value.constData()), value.size());
    XSync(x, False);
    display = x;
}

RootProperty::~RootProperty()
{
    if (!display)
        return;
    auto* x = static_cast<Display*>(display);
    XDeleteProperty(x, DefaultRootWindow(x), atom);
    XCloseDisplay(x);
}
