#include "EntryKind.h"

#include <cerrno>
#include <fcntl.h>

EntryKind entryKind(int folderFd, const char *name, struct stat &st, int &error)
{
    error = 0;
    if (::fstatat(folderFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        error = errno;
        return EntryKind::None;
    }
    if (S_ISDIR(st.st_mode))
        return EntryKind::Folder;
    if (S_ISREG(st.st_mode))
        return EntryKind::File;
    struct stat target;
    if (S_ISLNK(st.st_mode) && ::fstatat(folderFd, name, &target, 0) == 0 && S_ISREG(target.st_mode)) {
        st = target;
        return EntryKind::File;
    }
    return EntryKind::None;
}
