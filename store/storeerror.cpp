#include "store/storeerror.h"

namespace store {

StoreError::StoreError(int code, QString message)
    : m_code(code)
    , m_message(std::move(message))
    , m_utf8(QStringLiteral("%1 (%2)").arg(m_message).arg(code).toUtf8()) {}

} // namespace store
