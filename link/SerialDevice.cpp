// What the system says about a serial device, told to the user: who may open
// it, and the failure of the last operation as an Error.

#include "link/Serial.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <system_error>

namespace quillmar {

namespace {

std::string groupName(gid_t gid) {
    group g{};
    group* found = nullptr;
    std::string buffer(4096, '\0');
    if (getgrgid_r(gid, &g, buffer.data(), buffer.size(), &found) == 0 && found) return found->gr_name;
    return std::to_string(gid);
}

std::string userName(uid_t uid) {
    passwd p{};
    passwd* found = nullptr;
    std::string buffer(4096, '\0');
    if (getpwuid_r(uid, &p, buffer.data(), buffer.size(), &found) == 0 && found) return found->pw_name;
    return std::to_string(uid);
}

} // namespace

std::string PermissionAdvice(unsigned mode, const std::string& owner, const std::string& group) {
    char octal[8];
    std::snprintf(octal, sizeof octal, "%04o", mode & 07777);
    if ((mode & 0006) == 0006)
        return "Its permissions (" + std::string(octal) +
               ") let everyone read and write it, yet the system refused: ask an administrator.";
    if ((mode & 0060) == 0060)
        return "Join the group \"" + group + "\" that owns it (for example: sudo usermod -aG " + group +
               " $USER), then log in again.";
    if ((mode & 0600) == 0600)
        return "Only its owner \"" + owner + "\" may open it (permissions " + octal + "; its group \"" +
               group +
               "\" may not): ask an administrator to give a group read and write access to it, then join "
               "that group.";
    return "Nobody may open it for reading and writing (permissions " + std::string(octal) +
           "): ask an administrator for access.";
}

std::string PermissionAdvice(const std::string& device) {
    struct stat st {};
    if (stat(device.c_str(), &st) != 0)
        return "Join the group \"dialout\" that owns serial ports (for example: sudo usermod -aG dialout "
               "$USER), then log in again.";
    return PermissionAdvice(st.st_mode, userName(st.st_uid), groupName(st.st_gid));
}

void TSerial::ReportError() {
    const int code = int(lastError_);
    // What a device that was unplugged (or a pseudo-terminal whose other
    // side closed) answers: nothing more will pass until it is opened again.
    if (isOpen_ && (code == EIO || code == ENXIO || code == ENODEV || code == EPIPE || code == EBADF ||
                    code == ESHUTDOWN))
        lineLost_ = true;
    const std::string text = std::system_category().message(code);
    Error e;
    e.code = code;
    // "<the system's text>: <device>", and what to do about it.
    e.lead = text + ":";
    if (devicePath_.empty())
        e.lead += " the port";
    else
        e.place.file = devicePath_;
    switch (code) {
    case EACCES:
        e.kind = ErrorKind::PermissionDenied;
        e.tail = ". " + PermissionAdvice(devicePath_);
        break;
    case EWOULDBLOCK:
    case EBUSY:
        e.kind = ErrorKind::InUse;
        e.tail = " is in use by another program.";
        break;
    default:
        e.kind = lineLost_ && isOpen_ ? ErrorKind::LineLost : ErrorKind::PortFailure;
        break;
    }
    setFailure(std::move(e));
}

} // namespace quillmar
