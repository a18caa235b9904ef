# Reads the program's trace (WINEDEBUG=+debugstr) and prints one line per
# recognition cycle, in order:
#   <n> <picture> <attempts> <seconds>|open
# <picture> is the test camera's picture when the graph was last paused
# before the cycle began, that is the picture of the grabbed frame;
# <attempts> counts the cycle's "Start 3" stages; <seconds> is the time
# the "Start 1 processed" line gives, or "open" for a cycle that never ended.
# A line "probe <n>" follows cycle <n> (0: before any) when the probe said
# there that it posted a message.
BEGIN { picture = "-"; open = 0; n = 0 }
/OutputDebugStringA "testcam: paused on / {
  s = $0
  sub(/.*paused on /, "", s)
  sub(/ \(picture .*/, "", s)
  picture = s
  next
}
/OutputDebugStringA "Start 1 started/ {
  n++
  pic[n] = picture
  attempts[n] = 0
  seconds[n] = "open"
  open = n
  next
}
/OutputDebugStringA "Start 3 started/ {
  if (open) attempts[open]++
  next
}
/OutputDebugStringA "Start 1 processed in / {
  if (open) {
    s = $0
    sub(/.*processed in /, "", s)
    sub(/ sec.*/, "", s)
    seconds[open] = s
    open = 0
  }
  next
}
/OutputDebugStringA "wine-probe: posted/ {
  probe[n] = (open ? "in-cycle" : "between")
  next
}
END {
  if (0 in probe) print "probe 0 " probe[0]
  for (i = 1; i <= n; i++) {
    print i, pic[i], attempts[i], seconds[i]
    if (i in probe) print "probe", i, probe[i]
  }
}
