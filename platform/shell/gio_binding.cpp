// GIO is bound when a file type is first looked up, not when the layer is
// loaded: with GLib and GObject it costs every program of the layer a share
// of its start, and most never show an icon. The functions the layer calls
// are defined here, hidden, and forward to the library's own (the layer links
// with --no-undefined). Without the library no type is found.
#pragma GCC visibility push(hidden)
#include <gio/gio.h>
#pragma GCC visibility pop

#include <dlfcn.h>

#include <string>
#include <type_traits>

#include "platform/log.h"

namespace hub::platform {
namespace {

// GLib comes with GIO, which links it.
constexpr const char* kLibrary = "libgio-2.0.so.0";

void* GioSymbol(const char* name) {
  static void* const handle = [] {
    void* h = ::dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
    if (!h) {
      const char* why = ::dlerror();
      LogError("file types", std::string("cannot load ") + kLibrary + ": " + (why ? why : "unknown error"));
    }
    return h;
  }();
  void* symbol = handle ? ::dlsym(handle, name) : nullptr;
  if (handle && !symbol) LogError("file types", std::string(kLibrary) + " has no " + name);
  return symbol;
}

}  // namespace
}  // namespace hub::platform

#define HUB_FORWARD(ret, name, params, args, failed)                                                      \
  extern "C" ret name params {                                                                            \
    static const auto function = reinterpret_cast<decltype(&name)>(::hub::platform::GioSymbol(#name));    \
    if (!function) return failed;                                                                         \
    return function args;                                                                                 \
  }

HUB_FORWARD(gchar*, g_content_type_guess,
            (const gchar* name, const guchar* data, gsize size, gboolean* uncertain), (name, data, size, uncertain),
            nullptr)
HUB_FORWARD(gchar*, g_content_type_get_generic_icon_name, (const gchar* type), (type), nullptr)
HUB_FORWARD(void, g_free, (gpointer memory), (memory), void())
