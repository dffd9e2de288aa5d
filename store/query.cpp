#include "store/query.h"

namespace store {

Query& Query::whereEqual(const QString& field, const QString& value) {
    m_conditions.append({field, Op::Equal, value});
    return *this;
}

Query& Query::whereLike(const QString& field, const QString& pattern) {
    m_conditions.append({field, Op::Like, pattern});
    return *this;
}

} // namespace store
