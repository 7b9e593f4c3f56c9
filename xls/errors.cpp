#include "xls/errors.h"

#include "xls/messages.h"

namespace quorvane::xls {

void throwRecordsInvalid()
{
    throw RecordError(msg::RecordsInvalid);
}

} // namespace quorvane::xls
