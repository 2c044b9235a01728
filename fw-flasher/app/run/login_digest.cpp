#include "app/run/login_digest.h"

#include <QByteArray>
#include <QCryptographicHash>

#include "app/project/gbk_text.h"

namespace fw {

std::string LoginDigest(std::string_view gbk_bytes) {
  const QByteArray bytes(gbk_bytes.data(), static_cast<qsizetype>(gbk_bytes.size()));
  return QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex().toStdString();
}

bool LoginMatches(const Project& project, std::string_view typed_utf8) {
  const auto gbk = Utf8ToGbk(typed_utf8);
  return gbk && LoginDigest(*gbk) == project.String(ProjectStringId::kLoginDigest);
}

}  // namespace fw
