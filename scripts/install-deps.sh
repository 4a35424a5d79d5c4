#!/usr/bin/env bash
# Installs every Debian package that the build, the tests and the benchmarks
# need. Idempotent: when everything is present it only checks and returns.
#
# A mirror in the middle of a sync serves an index whose size does not match
# its Release file ("Mirror sync in progress?"). The update is retried a few
# times; an index that still fails is left at its old state and the install
# goes on. Where the one out of step is a security suite's i386 index, the
# 32-bit Wine packages then ask for versions that the main suite does not
# have: lowering the security suite's priority lets them install from the
# main suite, and the script does that once before it gives up.
set -euo pipefail

packages=(
  build-essential cmake ninja-build git
  clang libclang-rt-14-dev clang-format valgrind
  googletest libgtest-dev libbenchmark-dev
  g++-mingw-w64-i686 mingw-w64-tools
  wine wine32:i386 wine64 xvfb xauth
  lhasa p7zip-full jlha-utils osslsigncode openssl strace
  locales tzdata time
  fonts-wine fonts-ipafont-gothic imagemagick x11-utils
)
update_tries=4
update_pause=15
security_pin=/etc/apt/preferences.d/qm-security-low

SUDO=
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi

missing_packages() {
  local p
  for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      echo "$p"
    fi
  done
}

# Keeps apt's complaints in update.log; true once an update ran clean.
update_indexes() {
  local try
  for ((try = 1; try <= update_tries; try++)); do
    if $SUDO apt-get update -qq >"$log/update.log" 2>&1 && ! grep -q '^[EW]: ' "$log/update.log"; then
      return 0
    fi
    echo "install-deps: apt-get update, try $try of $update_tries: $(grep -m1 '^[EW]: ' "$log/update.log" || echo failed)"
    if ((try < update_tries)); then sleep "$update_pause"; fi
  done
  echo "install-deps: going on with the indexes as they are"
  return 1
}

install_missing() {
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "$@" \
    >"$log/install.log" 2>&1
}

explain_failure() {
  echo "install-deps: could not install: $*" >&2
  grep -E '^(E:| [^ ].*: Depends:| *Depends:)' "$log/install.log" | head -20 >&2 || true
  grep -E '^E: ' "$log/update.log" 2>/dev/null | head -5 >&2 || true
  cat >&2 <<EOF
install-deps: where an index of the security suite is out of step (the lines
  above say "Mirror sync in progress?"), the i386 packages of Wine cannot be
  installed in step with the amd64 ones. What worked: lower that suite's
  priority and install again, or wait until the mirror has synced:
    printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: 100\n' \\
      | sudo tee $security_pin
    bash scripts/install-deps.sh
EOF
}

mapfile -t missing < <(missing_packages)
if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  log=$(mktemp -d)
  trap 'rm -rf "$log"' EXIT
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  update_indexes || true
  if ! install_missing "${missing[@]}"; then
    if grep -q 'debian-security.*i386' "$log/update.log" 2>/dev/null && [ ! -e "$security_pin" ]; then
      echo "install-deps: the security suite's i386 index is out of step; lowering that suite's priority ($security_pin)"
      printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: 100\n' | $SUDO tee "$security_pin" >/dev/null
    fi
    if ! install_missing "${missing[@]}"; then
      explain_failure "${missing[@]}"
      exit 1
    fi
  fi
fi

# Wine reads code page 932 only from a Japanese locale that glibc knows.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  echo "install-deps: generating ja_JP.UTF-8"
  $SUDO sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi

echo "install-deps: all packages present"
