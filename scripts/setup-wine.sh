#!/bin/bash
# setup.sh - make a fresh Debian bookworm x86_64 machine of the "PVM guest"
# kind able to run 32-bit (i686 / PE32) Windows programs under Wine 8.0 in a
# 64-bit (WoW64) prefix.  Idempotent; run as root.
#
# Why emulation: this VM kind cannot execute 32-bit x86 code at all (exec of a
# 32-bit ELF fails with ENOEXEC; a far jump to the 32-bit user code segment
# 0x23, or to a 32-bit LDT code segment, raises #GP).  So neither wine32 nor
# Wine's experimental "new WoW64" mode (which also switches the CPU to 32-bit
# mode) can work natively.  Instead the i386 Wine loader and its i386 libs run
# under qemu-user (binfmt_misc), while wineserver and 64-bit Wine processes run
# natively.  Details that matter:
#  * qemu must be >= 8.1 (bookworm-backports has 10.0): bookworm's qemu 7.2
#    ignores MAP_FIXED_NOREPLACE and every 32-bit Wine process then spends
#    ~60 s in Wine's address-space reservation loop.
#  * qemu-user passes sigcontext.trapno = -1 for faults; Wine then reports every
#    access violation as an illegal instruction and its own page-fault guards
#    (IsBadWritePtr etc.) crash.  A tiny LD_PRELOAD shim (trapfix.so, built
#    here) restores trapno from siginfo.
#
# Afterwards:   . /usr/local/lib/wow/env.sh   (WINEPREFIX, LD_PRELOAD)
#               wine prog32.exe ...            (headless with WOW_GRAPHICS=null)
# Knobs:
#   WINEPREFIX     prefix to create                   (default: $HOME/.wine-wow)
#   WOW_GRAPHICS   null | x11  (x11 needs xvfb-run)   (default: null)
#   WOW_TOOLCHAIN  1 = also install i686 mingw-w64 g++ (default: 1)
set -euo pipefail

export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-wow}"
WOW_GRAPHICS="${WOW_GRAPHICS:-null}"
WOW_TOOLCHAIN="${WOW_TOOLCHAIN:-1}"
WOW_LIB=/usr/local/lib/wow
export DEBIAN_FRONTEND=noninteractive

T0=$(date +%s)
step() { echo "[setup +$(( $(date +%s) - T0 ))s] $*"; }
die() { echo "setup: $*" >&2; exit 1; }

[ "$(id -u)" = 0 ] || die "run as root"
[ "$(dpkg --print-architecture)" = amd64 ] || die "needs an amd64 system"
case "$WOW_GRAPHICS" in null|x11) ;; *) die "WOW_GRAPHICS must be null or x11";; esac

# ---------------------------------------------------------------- packages
PKGS="wine wine64 wine32:i386 libwine:i386 fonts-wine xvfb xauth gcc cmake ninja-build googletest"
[ "$WOW_TOOLCHAIN" = 1 ] && PKGS="$PKGS g++-mingw-w64-i686 mingw-w64-i686-dev g++-mingw-w64-x86-64 mingw-w64-x86-64-dev"
QEMU_PKG=qemu-user
QEMU_MIN=1:8.1

missing=""
for p in $PKGS; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing="$missing $p"
done
qemu_ver=$(dpkg-query -W -f='${Version}' "$QEMU_PKG" 2>/dev/null || true)
need_qemu=1
[ -n "$qemu_ver" ] && dpkg --compare-versions "$qemu_ver" ge "$QEMU_MIN" && need_qemu=0

if [ -n "$missing" ] || [ "$need_qemu" = 1 ]; then
    step "configuring apt (i386 multiarch, bookworm-backports)"
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    if ! grep -rqs 'bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/; then
        # reuse the archive address this machine is already configured with
        mirror=$(sed -n 's/^URIs:[[:space:]]*//p' /etc/apt/sources.list.d/*.sources 2>/dev/null | grep -v security | head -n 1)
        [ -n "$mirror" ] || mirror=$(awk '$1 == "deb" && $0 !~ /security/ {print $2; exit}' /etc/apt/sources.list 2>/dev/null)
        [ -n "$mirror" ] || die "no Debian archive configured in apt's sources"
        echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $mirror bookworm-backports main" \
            > /etc/apt/sources.list.d/wow-bookworm-backports.list
    fi
    step "apt-get update"
    apt-get update -q -o Acquire::Retries=3 >/dev/null
    if [ -n "$missing" ]; then
        step "installing:$missing"
        apt-get install -y -q -o Acquire::Retries=3 --no-install-recommends $missing >/dev/null
    fi
    if [ "$need_qemu" = 1 ]; then
        step "installing $QEMU_PKG from bookworm-backports"
        # bookworm's qemu-user-static (7.2) conflicts with qemu-user >= 9.1
        if dpkg-query -W -f='${Status}' qemu-user-static 2>/dev/null | grep -q 'ok installed'; then
            apt-get remove -y -q qemu-user-static >/dev/null
        fi
        apt-get install -y -q -o Acquire::Retries=3 --no-install-recommends "$QEMU_PKG/bookworm-backports" >/dev/null
    fi
else
    step "packages already installed"
fi

# ---------------------------------------------------------------- binfmt_misc
QEMU_CONF=/usr/share/qemu/binfmt.d/qemu-i386.conf      # shipped by qemu-user >= 9.1
[ -r "$QEMU_CONF" ] || die "missing $QEMU_CONF"
BINFMT=/proc/sys/fs/binfmt_misc
if [ ! -e "$BINFMT/register" ]; then
    step "mounting binfmt_misc"
    mount -t binfmt_misc binfmt_misc "$BINFMT"
fi
want_interp=$(awk -F: '{print $7}' "$QEMU_CONF")
want_flags=$(awk -F: '{print $8}' "$QEMU_CONF")
sorted() { echo "$1" | fold -w1 | sort | tr -d '\n'; }
entry="$BINFMT/qemu-i386"
if [ -e "$entry" ] && grep -qx "interpreter $want_interp" "$entry" && grep -qx enabled "$entry" \
   && [ "$(sorted "$(sed -n 's/^flags: //p' "$entry")")" = "$(sorted "$want_flags")" ]; then
    step "binfmt qemu-i386 already registered"
else
    [ -e "$entry" ] && echo -1 > "$entry"           # stale entry (other interpreter/flags)
    step "registering binfmt qemu-i386 -> $want_interp ($want_flags)"
    cat "$QEMU_CONF" > "$BINFMT/register"
fi
/usr/lib/wine/wine --version >/dev/null 2>&1 || die "the i386 wine loader still cannot be executed"

# ---------------------------------------------------------------- trapno shim
mkdir -p "$WOW_LIB/lib/i386-linux-gnu" "$WOW_LIB/lib/x86_64-linux-gnu"
cat > "$WOW_LIB/trapfix.c.new" <<'EOF'
/* LD_PRELOAD shim for i386 processes under qemu-user: qemu leaves
 * sigcontext.trapno = -1 for fault signals, which makes Wine misclassify every
 * fault.  Wrap sigaction() for fault signals; rebuild trapno from siginfo.
 * Freestanding (i386 Linux/glibc ABI layouts spelled out, no i386 headers). */
typedef struct { int si_signo, si_errno, si_code; } siginfo_head;
struct k_sigaction { void *handler; unsigned long mask[32]; int flags; void (*restorer)(void); };
enum { SIGILL = 4, SIGTRAP = 5, SIGBUS = 7, SIGFPE = 8, SIGSEGV = 11, NSIG = 65, SA_SIGINFO = 4 };
enum { SI_KERNEL = 0x80, FPE_INTDIV = 1, FPE_INTOVF = 2, TRAP_TRACE = 2 };
enum { T_DIVIDE = 0, T_TRCTRAP = 1, T_BPTFLT = 3, T_OFLOW = 4, T_PRIVINFLT = 6,
       T_PROTFLT = 13, T_PAGEFLT = 14, T_ARITHTRAP = 16 };
enum { GREGS_OFFSET = 20, REG_TRAPNO = 12 };   /* i386 ucontext_t */
typedef void (*sa_fn)(int, void *, void *);
typedef int (*sigaction_fn)(int, const struct k_sigaction *, struct k_sigaction *);
extern void *dlsym(void *, const char *);
static sa_fn app_handler[NSIG];

static int trap_for(int sig, int code)
{
    switch (sig) {
    case SIGSEGV: return code == SI_KERNEL ? T_PROTFLT : T_PAGEFLT;
    case SIGBUS:  return T_PAGEFLT;
    case SIGILL:  return T_PRIVINFLT;
    case SIGTRAP: return code == TRAP_TRACE ? T_TRCTRAP : T_BPTFLT;
    case SIGFPE:  return code == FPE_INTDIV ? T_DIVIDE : code == FPE_INTOVF ? T_OFLOW : T_ARITHTRAP;
    }
    return -1;
}

static void fixing_handler(int sig, void *info, void *uc)
{
    int *gregs = (int *)((char *)uc + GREGS_OFFSET);
    if (gregs[REG_TRAPNO] == -1 && info) gregs[REG_TRAPNO] = trap_for(sig, ((siginfo_head *)info)->si_code);
    app_handler[sig](sig, info, uc);
}

__attribute__((visibility("default")))
int sigaction(int sig, const struct k_sigaction *act, struct k_sigaction *old)
{
    static sigaction_fn real;
    if (!real) real = (sigaction_fn)dlsym((void *)-1l /* RTLD_NEXT */, "sigaction");
    if (sig != SIGSEGV && sig != SIGBUS && sig != SIGILL && sig != SIGFPE && sig != SIGTRAP)
        return real(sig, act, old);
    sa_fn previous = app_handler[sig];
    int ret;
    if (act && (act->flags & SA_SIGINFO) && act->handler) {
        struct k_sigaction copy = *act;
        copy.handler = (void *)fixing_handler;
        if (!(ret = real(sig, &copy, old))) app_handler[sig] = (sa_fn)act->handler;
    } else {
        ret = real(sig, act, old);
    }
    if (!ret && old && old->handler == (void *)fixing_handler) old->handler = (void *)previous;
    return ret;
}
EOF
if ! cmp -s "$WOW_LIB/trapfix.c.new" "$WOW_LIB/trapfix.c" || [ ! -f "$WOW_LIB/lib/i386-linux-gnu/trapfix.so" ]; then
    step "building trapfix.so (i386 + no-op x86_64 twin for \$LIB)"
    mv "$WOW_LIB/trapfix.c.new" "$WOW_LIB/trapfix.c"
    gcc -m32 -O2 -fPIC -shared -nostdlib -ffreestanding -o "$WOW_LIB/lib/i386-linux-gnu/trapfix.so" "$WOW_LIB/trapfix.c"
    echo 'void wow_trapfix_noop(void) {}' > "$WOW_LIB/noop.c"
    gcc -O2 -fPIC -shared -nostdlib -o "$WOW_LIB/lib/x86_64-linux-gnu/trapfix.so" "$WOW_LIB/noop.c"
else
    rm -f "$WOW_LIB/trapfix.c.new"
fi
cat > "$WOW_LIB/env.sh" <<EOF
# source me: environment for running 32-bit Windows programs (see setup.sh)
export WINEPREFIX='$WINEPREFIX'
case ":\${LD_PRELOAD:-}:" in *wow/\\\$LIB/trapfix.so*) ;; *)
  export LD_PRELOAD="$WOW_LIB/\\\$LIB/trapfix.so\${LD_PRELOAD:+:\$LD_PRELOAD}";; esac
EOF
. "$WOW_LIB/env.sh"

# ---------------------------------------------------------------- prefix
if [ ! -f "$WINEPREFIX/system.reg" ] || [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; then
    step "creating 64-bit prefix $WINEPREFIX"
    rm -rf "$WINEPREFIX"
    WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY= \
        wine wineboot -i >/dev/null 2>&1
    wineserver -w
    [ -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ] ||
        die "prefix has no syswow64 - the 32-bit half of wineboot failed"
else
    step "prefix $WINEPREFIX exists"
fi

# Registry: graphics driver, and no crash dialog (it would wait for a click
# forever; winedbg --auto still prints a backtrace to stderr).
reg="$(mktemp --suffix=.reg)"
{
    printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\n"ShowCrashDialog"=dword:00000000\n\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\Drivers]\n'
    if [ "$WOW_GRAPHICS" = null ]; then printf '"Graphics"="null"\n'; else printf '"Graphics"=-\n'; fi
} > "$reg"
stamp="$WINEPREFIX/.wow-registry"
if ! cmp -s "$reg" "$stamp"; then
    step "importing registry settings (Graphics=$WOW_GRAPHICS, ShowCrashDialog=0)"
    WINEDEBUG=-all DISPLAY= wine regedit /S "Z:${reg//\//\\}" >/dev/null 2>&1
    wineserver -w
    grep -q '"ShowCrashDialog"=dword:00000000' "$WINEPREFIX/user.reg" || die "registry import failed"
    cp "$reg" "$stamp"
fi
rm -f "$reg"

# ---------------------------------------------------------------- smoke test
if command -v i686-w64-mingw32-gcc >/dev/null; then
    tmp=$(mktemp -d)
    cat > "$tmp/smoke.c" <<'EOF'
#include <windows.h>
#include <stdio.h>
int main(void) {
    BOOL wow = FALSE;
    IsWow64Process(GetCurrentProcess(), &wow);
    /* a bad pointer must come back as FALSE/TRUE, not crash (needs trapfix.so) */
    printf("smoke ptr=%u wow64=%d badptr=%d\n", (unsigned)sizeof(void *), (int)wow,
           (int)IsBadWritePtr((void *)16, 4));
    return 0;
}
EOF
    i686-w64-mingw32-gcc -O2 -o "$tmp/smoke.exe" "$tmp/smoke.c"
    out=$(WINEDEBUG=-all wine "$tmp/smoke.exe" 2>/dev/null | tr -d '\r' || true)
    wineserver -w
    rm -rf "$tmp"
    [ "$out" = "smoke ptr=4 wow64=1 badptr=1" ] || die "smoke test failed: '$out'"
    step "smoke test ok: $out"
fi
step "done; use: . $WOW_LIB/env.sh"
