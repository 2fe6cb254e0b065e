// libcurl is bound when the artist query first goes out, not when the shell
// library is loaded: it pulls in TLS, Kerberos and LDAP libraries that every
// send-to launcher would otherwise map and relocate at start for nothing.
// Each function the options use is defined here, hidden, and forwards to the
// library's own; the shell library links with --no-undefined, so a call to a
// function missing here fails the build. Without the library a call fails the
// way libcurl reports failures.
#define CURL_DISABLE_TYPECHECK
#pragma GCC visibility push(hidden)
#include <curl/curl.h>
#pragma GCC visibility pop

#include <dlfcn.h>

#include <cstdarg>
#include <string>
#include <type_traits>

#include "platform/log.h"

namespace hub {
namespace {

constexpr const char* kLibrary = "libcurl.so.4";

void* Symbol(const char* name) {
  static void* const handle = [] {
    void* h = ::dlopen(kLibrary, RTLD_NOW | RTLD_LOCAL);
    if (!h) {
      const char* why = ::dlerror();
      platform::LogError("artist query", std::string("cannot load ") + kLibrary + ": " + (why ? why : "unknown error"));
    }
    return h;
  }();
  void* symbol = handle ? ::dlsym(handle, name) : nullptr;
  if (handle && !symbol) platform::LogError("artist query", std::string(kLibrary) + " has no " + name);
  return symbol;
}

template <class R>
R Unavailable() {
  if constexpr (std::is_void_v<R>) return;
  else if constexpr (std::is_pointer_v<R>) return nullptr;
  else return CURLE_FAILED_INIT;
}

}  // namespace
}  // namespace hub

#define HUB_FORWARD(ret, name, params, args)                                                 \
  extern "C" ret(name) params {                                                              \
    static const auto function = reinterpret_cast<decltype(&name)>(::hub::Symbol(#name));   \
    if (!function) return ::hub::Unavailable<ret>();                                         \
    return function args;                                                                    \
  }

HUB_FORWARD(CURLcode, curl_global_init, (long flags), (flags))
HUB_FORWARD(CURL*, curl_easy_init, (void), ())
HUB_FORWARD(void, curl_easy_cleanup, (CURL * handle), (handle))
HUB_FORWARD(CURLcode, curl_easy_perform, (CURL * handle), (handle))
HUB_FORWARD(char*, curl_easy_escape, (CURL * handle, const char* text, int length), (handle, text, length))
HUB_FORWARD(void, curl_free, (void* pointer), (pointer))

extern "C" const char*(curl_easy_strerror)(CURLcode code) {
  static const auto function = reinterpret_cast<decltype(&curl_easy_strerror)>(hub::Symbol("curl_easy_strerror"));
  return function ? function(code) : "the HTTP library cannot be loaded";
}

// An option's one argument has the type its number's range says; each is
// passed on as read.
extern "C" CURLcode(curl_easy_setopt)(CURL* handle, CURLoption option, ...) {
  using Setopt = CURLcode (*)(CURL*, CURLoption, ...);
  static const auto function = reinterpret_cast<Setopt>(hub::Symbol("curl_easy_setopt"));
  if (!function) return CURLE_FAILED_INIT;
  va_list args;
  va_start(args, option);
  CURLcode rc = CURLE_BAD_FUNCTION_ARGUMENT;
  if (option < CURLOPTTYPE_OBJECTPOINT) {
    rc = function(handle, option, va_arg(args, long));
  } else if (option < CURLOPTTYPE_FUNCTIONPOINT) {
    rc = function(handle, option, va_arg(args, void*));
  } else if (option < CURLOPTTYPE_OFF_T) {
    rc = function(handle, option, va_arg(args, void (*)()));
  } else if (option < CURLOPTTYPE_BLOB) {
    rc = function(handle, option, va_arg(args, curl_off_t));
  } else {
    rc = function(handle, option, va_arg(args, void*));
  }
  va_end(args);
  return rc;
}

// Every answer is written through the one pointer given.
extern "C" CURLcode(curl_easy_getinfo)(CURL* handle, CURLINFO info, ...) {
  using Getinfo = CURLcode (*)(CURL*, CURLINFO, ...);
  static const auto function = reinterpret_cast<Getinfo>(hub::Symbol("curl_easy_getinfo"));
  if (!function) return CURLE_FAILED_INIT;
  va_list args;
  va_start(args, info);
  void* out = va_arg(args, void*);
  va_end(args);
  return function(handle, info, out);
}
