# Sourced by the fuzz/build-*.sh scripts: the one set of compiler flags, and the one way the
# program's own sources are compiled for a target (clang, ASan, UBSan, libFuzzer), outside the
# main build.
#
#   fuzz_setup OUTDIR PKG...      flags for these pkg-config packages (Qt6Core always)
#   fuzz_compile SOURCE...        src/ paths without ".cpp"; adds to $objects (moc'd when a QObject).
#                                 The whole of src/core/, the layer below all others, comes with
#                                 the first call, so a new file there needs no change here.
#   fuzz_layer LAYER...           the sources of whole layers, for fuzz_compile
#   fuzz_link TARGET MAIN [-D...] links MAIN with $objects into OUTDIR/TARGET
root=$(cd "$(dirname "$0")/.." && pwd)
CXX=${CXX:-clang++}
MOC=${MOC:-$(pkg-config --variable=libexecdir Qt6Core 2>/dev/null)/moc}
[ -x "$MOC" ] || MOC=/usr/lib/qt6/libexec/moc

fuzz_setup() {
    out=$1
    shift
    mkdir -p "$out/obj"
    FLAGS="-std=c++20 -g -O1 -fPIC -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined
           -fno-sanitize-recover=undefined -I$root/src -I$root/tests/common -DQUILLORY_SHARE_DIR=\"/nonexistent\"
           $(pkg-config --cflags Qt6Core "$@")"
    LIBS="$(pkg-config --libs Qt6Core "$@")"
    objects=""
}

fuzz_layer() {
    for layer in "$@"; do
        (cd "$root/src" && ls "$layer"/*.cpp | sed 's/\.cpp$//')
    done
}

fuzz_compile() {
    if [ -z "$objects" ]; then
        set -- $(fuzz_layer core) "$@"
    fi
    for s in "$@"; do
        case " $objects " in *" $out/obj/$(echo "$s" | tr / _).o "*) continue ;; esac
        o="$out/obj/$(echo "$s" | tr / _).o"
        $CXX $FLAGS -c "$root/src/$s.cpp" -o "$o"
        objects="$objects $o"
        if [ -f "$root/src/$s.h" ] && grep -q Q_OBJECT "$root/src/$s.h"; then
            m="$out/obj/moc_$(echo "$s" | tr / _)"
            "$MOC" -I"$root/src" "$root/src/$s.h" -o "$m.cpp"
            $CXX $FLAGS -c "$m.cpp" -o "$m.o"
            objects="$objects $m.o"
        fi
    done
}

fuzz_link() {
    target=$1
    main=$2
    shift 2
    $CXX $FLAGS -fsanitize=fuzzer "$@" "$main" $objects $LIBS -o "$out/$target"
}
