// The variables a page starts with: the player's state and the query pairs.
#pragma once

#include <string>
#include <string_view>

#include "webserver/http_request.h"
#include "webserver/template_file.h"

namespace hub {

class KernelDevice;

// The query pairs of a request path (the text after its first "?"): "+" as
// a blank, pieces cut at "&" and their first "=", values passable-decoded.
// Raw values; the variable map holds them HTML-escaped.
VariableMap QueryPairs(std::string_view path);

// Fills `variables` in the documented order. Texts from the request or the
// player are HTML-escaped as they are set.
void SetRequestVariables(KernelDevice& device, const HttpRequest& request, VariableMap& variables);

}  // namespace hub
