#!/usr/bin/env bash
# The demo over UDP: kinevra-host --demo --controller udp inside a network
# namespace of this script's own, whose one wired adapter is a veth pair to a
# second namespace. The library multicasts from it and rigsim joins the group
# on it; nothing leaves the two namespaces, which are removed at the end.
# Needs root and the ip tool; otherwise skipped (exit 77).
#   host_demo_udp.sh TOOL PLOT
set -u
tool=$1 plot=$2
ip=$(command -v ip || true)
if [ "$(id -u)" -ne 0 ] || [ -z "$ip" ]; then echo "skipped: needs root and the ip tool"; exit 77; fi
a=kv-demo-$$-a b=kv-demo-$$-b
cleanup() { "$ip" netns del "$a" 2>/dev/null; "$ip" netns del "$b" 2>/dev/null; }
trap cleanup EXIT
"$ip" netns add "$a" && "$ip" netns add "$b" || { echo "skipped: cannot make network namespaces"; exit 77; }
"$ip" link add host0 netns "$a" type veth peer name rig0 netns "$b" &&
  "$ip" -n "$a" addr add 10.213.8.1/24 dev host0 && "$ip" -n "$b" addr add 10.213.8.2/24 dev rig0 &&
  "$ip" -n "$a" link set lo up && "$ip" -n "$a" link set host0 up && "$ip" -n "$b" link set rig0 up ||
  { echo "cannot make the veth pair"; exit 1; }
# The carrier comes up with a delay.
for _ in $(seq 100); do
  "$ip" -n "$a" link show host0 | grep -q 'LOWER_UP' && break
  sleep 0.1
done
out=$("$ip" netns exec "$a" "$tool" --demo --controller udp --seconds "${KINEVRA_DEMO_SECONDS:-4}" --plain --plot "$plot" 2>&1)
rc=$?
echo "$out" | tail -15
[ $rc -eq 0 ] || { echo "the demo failed: $rc"; exit 1; }
grep -qE 'messages received by the controller: [1-9][0-9]*' <<<"$out" && grep -q 'CRC failures: 0$' <<<"$out" ||
  { echo "the controller received no valid rig messages"; exit 1; }
