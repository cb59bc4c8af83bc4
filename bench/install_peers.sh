# Sourced by the comparison scripts: install_peers PACKAGE... installs the
# Debian packages of peer tools with apt (through sudo when not root). The
# build and the tests never need them.
install_peers() {
  (($# > 0)) || return 0
  echo "$(basename "$0"): installing $*"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "$@" >/dev/null
}
