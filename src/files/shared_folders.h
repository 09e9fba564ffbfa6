#pragma once
// What a user's programs meet in folders other users may write to (/tmp, a
// group's folder): links and files another user put there first.
//
// The kernel keeps a user from following another user's link, or from
// opening another user's file to write, in a sticky folder that everyone
// may write (protected_symlinks, protected_regular), but only where the
// system turns that on, and a save that reads a link itself and writes
// beside its target (as QSaveFile does) never meets that check. The same
// rule is kept here, for every folder whose group or everyone may write it:
// a link or file there that belongs neither to this user nor to the
// folder's owner is not followed, written or replaced. The user's own links
// (and those of the folder's owner) lead where they always did.

#include <QString>

#include <cstdint>

namespace cv {

// "user nobody (uid 65534)", or "uid 1234" for a number the system has no
// name for.
QString DescribeOwner(uint32_t uid);
// "it belongs to another user (user nobody (uid 65534))".
QString BelongsToAnotherUser(uint32_t uid);

// BelongsToAnotherUser when the entry `path` (itself, not what a link
// names) is another user's; empty when it is this user's, or absent.
QString AnotherUsersEntryReason(const QString& path);

// Whether users other than the folder's owner may add, remove or rename
// names in it (its group or everyone may write it). False for a folder
// that cannot be looked at.
bool OthersMayWriteIn(const QString& folder);

// Why this user's programs may neither follow the entry `path` (itself, not
// what a link names) nor write or replace it: a link or file of another
// user, in a folder others may write to, that is not the folder owner's.
// Empty when they may, and when nothing has the name.
QString ForeignEntryReason(const QString& path);

// Where a save of `name` puts its file: the name itself, or the file the
// user's own links there lead to (each link on the way checked as above).
// `refusal` says why nothing may be saved there ("... it is not followed",
// "... it is not replaced", "its links lead round in a loop").
struct TSaveTarget {
    QString path;
    QString refusal;
};
TSaveTarget SaveTargetOf(const QString& name);

} // namespace cv
