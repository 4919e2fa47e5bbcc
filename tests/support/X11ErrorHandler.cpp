// Test programs that open windows act as the host: they install an X error handler that ignores
// errors, as DAWs do (JUCE installs its own only in standalone applications). Without one, Xlib's
// default handler ends the process on the harmless errors a bare X server provokes, such as
// window-type properties whose atoms only a window manager would have created.

#include <dlfcn.h>

namespace
{
struct IgnoreXErrors
{
    IgnoreXErrors()
    {
        // The same shared library JUCE loads at run time, so the handler is the one it sees.
        void* x11 = dlopen ("libX11.so.6", RTLD_LAZY | RTLD_GLOBAL);
        if (x11 == nullptr)
            return;
        using Handler = int (*) (void*, void*);
        using SetHandler = Handler (*) (Handler);
        if (auto set = reinterpret_cast<SetHandler> (dlsym (x11, "XSetErrorHandler")))
            set ([] (void*, void*) { return 0; });
    }
} ignoreXErrors;
} // namespace
