#include "git/libgit2.h"

#include <QByteArray>

#include <dlfcn.h>

namespace {

struct Loaded
{
    Libgit2 api;
    bool ok = false;
    QByteArray error;
};

Loaded load()
{
    Loaded loaded;
    const QByteArray chosen = qgetenv("ONDREL_LIBGIT2");
    const QByteArray name = chosen.isEmpty() ? QByteArray(ONDREL_LIBGIT2_SONAME) : chosen;
    void *library = ::dlopen(name.constData(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        loaded.error = ::dlerror();
        return loaded;
    }
#define ONDREL_LIBGIT2_RESOLVE(fn)                                                                 \
    loaded.api.fn = reinterpret_cast<decltype(&::fn)>(::dlsym(library, #fn));                      \
    if (!loaded.api.fn) {                                                                          \
        loaded.error = name + ": " #fn " is missing";                                              \
        ::dlclose(library);                                                                        \
        return loaded;                                                                             \
    }
    ONDREL_LIBGIT2_FUNCTIONS(ONDREL_LIBGIT2_RESOLVE)
#undef ONDREL_LIBGIT2_RESOLVE
    if (loaded.api.git_libgit2_init() < 0) {
        loaded.error = name + ": it could not start";
        ::dlclose(library);
        return loaded;
    }
    // Objects are read as Git reads them, without hashing each one again to check
    // it (a check for `git fsck`): blame reads a version of the file per commit,
    // and the check took most of its time.
    loaded.api.git_libgit2_opts(GIT_OPT_ENABLE_STRICT_HASH_VERIFICATION, 0);
    // Never unloaded: its threads' keys and caches live as long as the process.
    loaded.ok = true;
    return loaded;
}

const Loaded &loaded()
{
    static const Loaded once = load(); // thread-safe since C++11
    return once;
}

} // namespace

const Libgit2 *libgit2()
{
    return loaded().ok ? &loaded().api : nullptr;
}

const char *libgit2LoadError()
{
    return loaded().error.constData();
}
