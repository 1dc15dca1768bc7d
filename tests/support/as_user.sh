# For tests of a user's files under Linux's rules, sourced by them: run as
# root, the programs they start run as the user nobody, since root may write
# any file; run as anyone else, as that user.
#
#   as_user_init WORK BINARY  lets the user into the folder WORK, whose state/
#                             is the user's state folder (the machine-wide
#                             /var/tmp/zentrovex-UID is for users without
#                             one, and two runs would share it); skips (77)
#                             where the user cannot run BINARY
#   user CMD...               runs CMD as the user, so what it makes is theirs
#   user_owns FOLDER...       gives the folders to the user

as_user=()

as_user_init() {
  if [ "$(id -u)" = 0 ]; then
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups --)
    chmod 755 "$1"
    "${as_user[@]}" test -x "$2" || { echo "SKIP: the user nobody cannot run $2"; exit 77; }
  fi
  mkdir -m 777 "$1/state" && export XDG_STATE_HOME=$1/state
}

user() { "${as_user[@]}" "$@"; }

user_owns() {
  if [ "$(id -u)" = 0 ]; then chown 65534:65534 "$@"; fi
}
