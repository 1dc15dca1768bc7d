# Sourced by the tests that mount file systems. `in_own_mount_namespace
# "$0" "$@"` runs the script again in a mount namespace of its own, where
# one can be made (as root), and is false where none can. There what the
# test mounts goes with its last process, even one killed outright: CTest
# kills a test at its limit with SIGKILL, and no EXIT trap runs to unmount.
# Inside, ZV_IN_MOUNT_NAMESPACE is 1.
in_own_mount_namespace() {  # SCRIPT ARGUMENTS...
  [ "${ZV_IN_MOUNT_NAMESPACE:-}" != 1 ] || return 0
  unshare -m --propagation private true 2> /dev/null || return 1
  ZV_IN_MOUNT_NAMESPACE=1 exec unshare -m --propagation private "$@"
}
