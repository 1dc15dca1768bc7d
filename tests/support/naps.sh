# Sourced by the test scripts that poll: `sleep` and `now_ms` that start no
# process. A poll twenty times a second that started `sleep` and `date`
# each time cost a multiplayer scenario more processor than its four games.
# `sleep` waits on a pipe of its own that never brings anything (it holds
# the pipe's writing end too), for as many seconds as `sleep` would.
exec {zv_nap_fd}<> <(:)
# Where the pipe is not there (a subshell that closed it), the program.
sleep() {  # SECONDS
  read -rt "$1" -u "$zv_nap_fd" 2> /dev/null || [ $? -gt 128 ] || command sleep "$1"
}
# Milliseconds since the epoch, as `date +%s%3N` says.
now_ms() { echo $(( ${EPOCHREALTIME//[!0-9]/} / 1000 )); }
