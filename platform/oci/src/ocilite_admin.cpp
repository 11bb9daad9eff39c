// The stand-in's administration functions (ocilite.h): databases and users.
#include <cstdio>
#include <cstring>

#include "oci_int.h"

namespace {

int finish(int rc, const DlError& d, char* msg, size_t msglen) {
  if (msg && msglen) {
    if (rc) {
      std::string text = d.message[0] ? d.message : ocl::ora_text(rc);
      std::snprintf(msg, msglen, "ORA-%05d: %s", rc, text.c_str());
    } else {
      msg[0] = '\0';
    }
  }
  return rc;
}

std::string str(const char* s) { return s ? s : ""; }

}  // namespace

#define OCILITE_API extern "C" __attribute__((visibility("default")))

OCILITE_API int ocilite_db_create(const char* dir, char* msg, size_t msglen) {
  DlError d;
  return finish(ocl::be_db_create(str(dir), &d), d, msg, msglen);
}

OCILITE_API int ocilite_user_create(const char* dir, const char* user, const char* password,
                                    char* msg, size_t msglen) {
  DlError d;
  return finish(ocl::be_user_create(str(dir), str(user), str(password), &d), d, msg, msglen);
}

OCILITE_API int ocilite_user_drop(const char* dir, const char* user, char* msg, size_t msglen) {
  DlError d;
  return finish(ocl::be_user_drop(str(dir), str(user), &d), d, msg, msglen);
}

OCILITE_API int ocilite_user_password(const char* dir, const char* user, const char* password,
                                      char* msg, size_t msglen) {
  DlError d;
  return finish(ocl::be_user_password(str(dir), str(user), str(password), &d), d, msg, msglen);
}

OCILITE_API int ocilite_user_flags(const char* dir, const char* user, int flags, char* msg,
                                   size_t msglen) {
  DlError d;
  return finish(ocl::be_user_flags(str(dir), str(user), flags, &d), d, msg, msglen);
}

OCILITE_API int ocilite_user_list(const char* dir, void (*fn)(void*, const char*, int), void* ctx) {
  DlError d;
  std::vector<ocl::BeUser> users;
  if (ocl::be_user_list(str(dir), &users, &d)) return -1;
  for (const auto& u : users)
    if (fn) fn(ctx, u.name.c_str(), u.flags);
  return static_cast<int>(users.size());
}
