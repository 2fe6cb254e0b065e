// Writes a result table as comma- or tab-separated text, an HTML table or a
// small XML document, with a credit line and the query above the rows.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "sql/result_table.h"

namespace hub {

enum ResultRenderMode : char {
  kRenderComma = 'c',
  kRenderTab = 't',
  kRenderHtml = 'h',
  kRenderXml = 'x',
};

// `columnNames`: when empty, filled with the first row's names in row-map
// order; otherwise only those columns are written, in that order. Lines end
// with "\n". Separated values holding the separator, a quote or a line end are
// quoted (RFC 4180); markup values, names and the query text are escaped.
void RenderResultAsMarkup(const CResultTable& table, char mode, std::ostream& out, std::vector<std::string>& columnNames,
                          std::string_view query);

// A valid XML element name for a column name: characters outside names become "_".
std::string XmlElementName(std::string_view name);

}  // namespace hub
