# Administrators from the directory, sourced by live-logins.sh once the
# operators group may log in: sudo grants every command to a member (alice)
# and nothing to bob; a group whose name holds a space works through its
# escaped name (Domain Admins: Administrator); --none gives /etc/sudoers.d
# back byte for byte.
sudoers_dir() { ls -l --time-style=+ /etc/sudoers.d && cat /etc/sudoers.d/*; }
sudoers_before=$(sudoers_dir)
# sudo goes by alice's groups: wait until SSSD has them.
for _ in $(seq 300); do id "alice@$domain" 2>/dev/null | grep -q "orvauth-operators@$domain" && break; sleep 0.1; done
step_start "logins admins --group orvauth-operators"
out=$(ctl logins admins --group orvauth-operators) || fail "$out"
grep -q "checked with visudo" <<<"$out" && ! grep -q "does not let one log in" <<<"$out" || fail "$out"
step_end
step_start "sudo -l: alice (an operator) may, bob may not"
sudo -l -U "alice@$domain" | grep -q "(ALL : ALL) ALL" || fail "alice: $(sudo -l -U "alice@$domain" 2>&1); $(id "alice@$domain")"
out=$(sudo -l -U "bob@$domain" 2>&1 || true)
grep -q 'not allowed to run sudo' <<<"$out" || fail "bob: $out"
step_end
step_start "logins admins --group 'Domain Admins' (not permitted to log in)"
out=$(ctl logins admins --group 'Domain Admins') || fail "$out"
grep -q "^  group domain admins@$domain" <<<"$out" || fail "not said to need a permit: $out"
sudo -l -U "administrator@$domain" | grep -q '(ALL : ALL) ALL' || fail "$(sudo -l -U "administrator@$domain" 2>&1)"
ctl logins status --json | grep -q "\"administrators\":{\"users\":\[\],\"groups\":\[\"domain admins@$domain\",\"orvauth-operators@$domain\"\]" ||
  fail "$(ctl logins status --json)"
step_end
step_start "logins admins refuses an unknown group"
out=$(ctl logins admins --group no-such-group 2>&1) && fail "accepted: $out"
grep -q "'no-such-group'" <<<"$out" || fail "$out"
step_end
step_start "logins admins --none"
ctl logins admins --none >/dev/null || fail "--none"
[ "$(sudoers_dir)" = "$sudoers_before" ] || fail "/etc/sudoers.d differs: $(sudoers_dir)"
out=$(sudo -l -U "alice@$domain" 2>&1 || true)
grep -q 'not allowed to run sudo' <<<"$out" || fail "alice after --none: $out"
step_end
