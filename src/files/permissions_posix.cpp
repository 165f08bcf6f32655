// The permissions an output gets on POSIX: its group, mode and access ACL,
// passed on or narrowed on the descriptors (system_calls.h).
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/xattr.h>
#endif

#include <array>
#include <cerrno>

#include "files/system_calls.h"

namespace {

SystemError last_error() { return static_cast<SystemError>(errno); }

int descriptor(SystemFile file) { return static_cast<int>(file); }

// A file system without owners, modes or ACLs (FAT, many FUSE mounts)
// refuses them: EPERM, EINVAL (a group unknown there), ENOSYS, ENOTSUP.
bool cannot_hold(int error) {
  return error == EPERM || error == EINVAL || error == ENOSYS || error == ENOTSUP || error == EOPNOTSUPP;
}

// CALL, made again while a signal interrupts it.
template <typename Call>
auto retried(Call call) {
  auto result = call();
  while (result < 0 && errno == EINTR) result = call();
  return result;
}

SystemError held_or_refused(int result) { return result == 0 || cannot_hold(errno) ? 0 : last_error(); }
SystemError set_mode(int file, unsigned mode) {
  return held_or_refused(retried([=] { return fchmod(file, static_cast<mode_t>(mode)); }));
}
// An extended attribute, not libacl: nothing more to link, also statically.
[[maybe_unused]] constexpr char ACCESS_ACL[] = "system.posix_acl_access";

}  // namespace

// A file created under a default ACL has an ACL too, which must not outlive it.
SystemError keep_permissions(SystemFile from, SystemFile to, unsigned mode, std::uint32_t group) {
  const int file = descriptor(to);
  if (retried([=] { return fchown(file, static_cast<uid_t>(-1), static_cast<gid_t>(group)); }) != 0) {
    if (!cannot_hold(errno)) return last_error();
    from = NO_SYSTEM_FILE;
  }
#if defined(__linux__)
  static std::array<char, 65536> acl;  // the largest attribute Linux holds
  const ssize_t size = from != NO_SYSTEM_FILE
                           ? retried([=] { return fgetxattr(descriptor(from), ACCESS_ACL, acl.data(), acl.size()); })
                           : -1;
  if (size >= 0) {
    return held_or_refused(retried([=] { return fsetxattr(file, ACCESS_ACL, acl.data(), std::size_t(size), 0); }));
  }
  // An ACL unseen, or an inherited one kept, would make group bits access.
  if (from != NO_SYSTEM_FILE && errno != ENODATA && !cannot_hold(errno)) return last_error();
  if (errno != ENODATA) from = NO_SYSTEM_FILE;
  const bool removed = retried([=] { return fremovexattr(file, ACCESS_ACL); }) == 0 || errno == ENODATA;
  if (!removed && !cannot_hold(errno)) return last_error();
  if (!removed) from = NO_SYSTEM_FILE;
#endif
  return set_mode(file, from == NO_SYSTEM_FILE ? mode & ~0070U : mode);
}

bool may_have_acl([[maybe_unused]] SystemFile from) {
#if defined(__linux__)
  return retried([=] { return fgetxattr(descriptor(from), ACCESS_ACL, nullptr, 0); }) >= 0 || errno != ENODATA;
#else
  return false;
#endif
}

SystemError file_permissions(SystemFile file, unsigned& mode, std::uint32_t& group) {
  struct stat made {};
  if (fstat(descriptor(file), &made) != 0) return last_error();
  mode = static_cast<unsigned>(made.st_mode) & 07777U;
  group = static_cast<std::uint32_t>(made.st_gid);
  return 0;
}

SystemError set_permissions(SystemFile file, unsigned mode) { return set_mode(descriptor(file), mode); }
