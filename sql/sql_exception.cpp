// Message text of the SQL exception family.
#include "sql/sql_exception.h"

namespace hub {

std::string CKestroSQLException::GetMessageText() const {
  return std::string(Message()) + "\n\n" + detailText_ + "\n" + std::to_string(detailNumber_);
}

}  // namespace hub
