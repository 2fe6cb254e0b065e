// Who may be served: the remote-access block, Basic authentication of remote
// peers against the account list, and the access log "httplog.html".
#pragma once

#include <string>
#include <string_view>

#include "webserver/handler.h"
#include "webserver/http_request.h"
#include "webserver/http_server.h"

namespace hub {

// A peer is local when it is 127.0.0.1 or the server's own address of the connection.
bool IsLocalPeer(std::string_view peer, std::string_view local);

// Base64 as browsers send it; characters outside the alphabet are skipped and a
// partial last group gives what it holds.
std::string DecodeBase64Lenient(std::string_view text);

// The remote-access block and the Basic check, for the handler that will answer.
// Returns the current user ("local", or the account's user); throws
// HttpException 401 or 403 when the peer may not be served.
std::string CheckAccess(const HttpServer& server, const HttpRequest& request, std::string_view peer,
                        const Handler& chosen);

// Appends the request's line to the access log when the settings ask for it.
// Failures are swallowed: the log never stops a request.
void LogAccess(const HttpRequest& request, std::string_view peer, std::string_view user, bool local);

// Appends the failure of a request and its detail to the access log, whatever
// the log settings (the detail is not shown to a remote peer). Never throws.
void LogFailure(const HttpRequest& request, std::string_view peer, std::string_view user, std::string_view detail);

// The path as the log shows it: a stream only by its name, others without
// the query; HTML-escaped, line ends removed.
std::string LoggedPath(std::string_view path);

}  // namespace hub
