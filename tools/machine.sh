# Sourced by test.sh: describe_machine prints where a run happens (CPU model
# and features, cores, caches, memory, kernel, C library, the environment
# that moves results), so that a red run in a log says which machine it was.
describe_machine() {
  local model cores cache level type size
  model=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo 2>/dev/null | head -n 1)
  cores=$(nproc 2>/dev/null || echo "?")
  echo "== machine"
  echo "  cpu:       ${model:-unknown} ($(uname -m)), $cores cores usable of $(nproc --all 2>/dev/null || echo "?")"
  echo "  features:  $(grep -o -w -E 'avx|avx2|fma|avx512f|avx512dq|avx512vl' /proc/cpuinfo 2>/dev/null \
                       | sort -u | tr '\n' ' ')"
  cache=""
  for level in /sys/devices/system/cpu/cpu0/cache/index*; do
    [ -r "$level/size" ] || continue
    type=$(cat "$level/type")
    size=$(cat "$level/size")
    case $type in Data) type=d ;; Instruction) type=i ;; *) type="" ;; esac
    cache+="L$(cat "$level/level")$type $size, "
  done
  echo "  caches:    ${cache%, } (as cpu0 sees them)"
  echo "  memory:    $(awk '/^MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo 2>/dev/null), load $(cut -d' ' -f1-3 /proc/loadavg 2>/dev/null)"
  echo "  system:    $(uname -sr), $(ldd --version 2>/dev/null | head -n 1)"
  echo "  env:       LANG=${LANG:-} LC_ALL=${LC_ALL:-} TMPDIR=${TMPDIR:-} PYPY_GC_NURSERY=${PYPY_GC_NURSERY:-} OPENBLAS_CORETYPE=${OPENBLAS_CORETYPE:-}"
}
