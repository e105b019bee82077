// The DSC call record: composer and reader.
#include "dsc/record.h"

namespace dsc {
QByteArray compose(const DscRecord&) { return {}; }
void Decodifica_stringa(const QByteArray&, DscRecord&) {}
void nature_name(int, QString&) {}
QString nature_name(int code) { QString s; nature_name(code, s); return s; }
int leading_number(const QByteArray&) { return 0; }
QString cp1252(const QByteArray& bytes) { return QString::fromLatin1(bytes); }
} // namespace dsc
