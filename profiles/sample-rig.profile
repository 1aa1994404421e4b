# Kinevra rig profile: a sample for a 2- to 6-axis motion seat.
#
#   kinevra-host --profile profiles/sample-rig.profile
#   kinevra-host --check --profile my-rig.profile     (checks it, starts nothing)
#
# The format: "[section]" lines, "key = value" lines, "#" starts a comment.
# Names are not case-sensitive; an unknown section or key is an error. The
# whole format is described in docs/host-guide.md.
#
# Units. The engine hands each rig axis to the controller as a number; what
# the number means is the controller's business. This sample makes every
# axis a fraction of the rig's travel: -1 one end, 0 centre, +1 the other
# end. If your controller expects degrees or millimetres, scale the last GAIN
# of each chain (or the LOGISTIC limit) and the [rig_limits] to match.
#
# Signs follow the engine's telemetry: lateral + right, longitudinal +
# forward, vertical + up, roll + left side down, pitch + nose up, yaw +
# counter-clockwise seen from above. If an axis of your rig moves the wrong
# way, make its gains negative.
#
# Filter chains (one line each) are read inside out: in
#   LOGISTIC(GAIN(EMAHP(EMALP(VALUE;8);600);0.05);1;1)
# the input is smoothed over 8 cycles (EMALP; a cycle is 2 ms, so 16 ms),
# washed out over 600 cycles (EMAHP: a steady input returns to the centre
# within about 1.2 s, so the rig never sits at a limit), scaled (GAIN: 1 m/s2
# becomes 0.05 of the travel) and softly limited to +-1 (LOGISTIC: limit 1,
# slope 1, so small values pass unchanged). Other steps: CROP(..;low;high),
# ADD, MUL, ABS, ROLLOVER, REMAP(..;inLow;inHigh;outLow;outHigh),
# NOISE(..;amplitude;period ms;seed), SINUS(..;amplitude;Hz), SETVALUE,
# BITSCALE(..;range;scale), BITSCALESIGNED.

[rig]
name = Sample motion seat
# The axes your rig has. Channels that feed a missing axis are switched off
# in both motion profiles, so the controller receives 0 for that axis.
#   2-DOF seat (the most common):          axes = roll pitch
#   3-DOF (with heave or traction loss):   axes = roll pitch heave
#   4-DOF:                                 axes = roll pitch heave surge
#   6-DOF Stewart platform:                axes = sway surge heave yaw roll pitch
axes = sway surge heave yaw roll pitch
# Cycle pacing: busy (a spin to exactly 2 ms; costs one core) or sleep
# (whole-millisecond sleeps that average 2 ms).
pacing = busy

[controller]
# auto: try every COM port for a controller that answers the identification.
# COM5: only that port. none: no serial bridge (watch the engine only).
port = auto
# A controller on the network instead: link = udp (and, if not the defaults,
# listen_port = 53241, group = 232.11.12.14, group_port = 51324).
# link = serial

[wind]
# A fan controller on its own port, fed one power byte (0..255) from the
# wind channel every interval_ms. none: no fan.
port = none
# port = COM7
# baud = 115200
# format = 8N1
# interval_ms = 15

[motion_cancel]
# Publishes the rig's smoothed pose in shared memory ("Local\motionRigPose")
# for a VR tool that subtracts the rig's motion from the head tracking.
enabled = no
# filter = 60    # smoothing over this many cycles
# gain = 1.0

[input_limits]
# Each channel's input is clamped to low..high before its filter chain.
# A channel without limits gets 0 0, which holds it at 0.
# Accelerations in m/s2 (vertical includes gravity), rates in deg/s.
sway       = -30 30
surge      = -30 30
heave      = -40 40
yaw        = -200 200
roll       = -200 200
pitch      = -200 200
roll_tilt  = -30 30
pitch_tilt = -30 30
# (roll_attitude and pitch_attitude always take -360..360)

[rig_limits]
# The last guard: each axis sent to the controller is clamped to low..high.
# An axis without limits is held at 0.
sway  = -1 1
surge = -1 1
heave = -1 1
yaw   = -1 1
roll  = -1 1
pitch = -1 1

[air]
# The air profile drives every car game, and aircraft in flight.
#
# Each rig axis is a sum of channels:
#   sway  = sway + effect_sway            surge = surge + effect_surge
#   heave = heave + effect_heave          yaw   = yaw + effect_yaw
#   roll  = roll + roll_tilt + roll_attitude + effect_roll
#   pitch = pitch + pitch_tilt + pitch_attitude + effect_pitch
#
# Onset cues: quick, washed-out translations and rotations.
sway  = LOGISTIC(GAIN(EMAHP(EMALP(VALUE;8);600);0.05);1;1)     # lateral acceleration
surge = LOGISTIC(GAIN(EMAHP(EMALP(VALUE;8);600);0.05);1;1)     # longitudinal acceleration
heave = LOGISTIC(GAIN(EMAHP(EMALP(VALUE;4);250);0.1);1;1)      # vertical acceleration: bumps, crests
yaw   = LOGISTIC(GAIN(EMAHP(EMALP(VALUE;10);400);0.008);1;1)   # yaw rate
roll  = GAIN(EMAHP(EMALP(VALUE;10);150);0.004)                 # roll rate, a short kick
pitch = GAIN(EMAHP(EMALP(VALUE;10);150);0.004)                 # pitch rate, a short kick
#
# Sustained cues: tilting the seat lets gravity stand in for a long
# acceleration (cornering pushes you outward, braking pushes you forward).
# Slow (100 cycles = 0.2 s) so the tilt itself is not felt as motion.
roll_tilt      = LOGISTIC(GAIN(EMALP(VALUE;100);0.04);0.5;1)    # lateral acceleration
pitch_tilt     = LOGISTIC(GAIN(EMALP(VALUE;100);0.05);0.5;1)    # longitudinal acceleration
# The vehicle's own attitude (degrees): body roll, a car's nose dive, a bank.
roll_attitude  = LOGISTIC(GAIN(EMALP(VALUE;20);0.02);0.4;1)
pitch_attitude = LOGISTIC(GAIN(EMALP(VALUE;20);0.03);0.4;1)
#
# Seat-belt tensioner: the belt channel filters the weighted sum of its four
# components (belt_mix weights below). Braking is negative longitudinal
# acceleration, hence the weight -1: 0..10 m/s2 of braking gives 0..255.
belt_surge = EMALP(VALUE;10)
belt       = BITSCALE(VALUE;10;255)
belt_mix.surge = -1.0
belt_mix.heave = 0
belt_mix.roll  = 0
belt_mix.pitch = 0
#
# Effects are added to the six axes; they generate their own signal. Example:
# a light road rumble on heave (amplitude 0.01, a new target every 40 ms):
# effect_heave = NOISE(VALUE;0.01;40;7)
#
# Wind: the vehicle's speed as the game reports it, as fan power 0..100 %.
wind = CROP(GAIN(VALUE;2);0;100)
# Switch off a channel you do not want, for example:
# yaw.active = no

[ground]
# The ground profile drives aircraft on the ground (taxi, take-off and
# landing roll); the engine cross-fades between the two profiles in 0.2 s.
# Only the ten channels sway .. pitch_attitude run here.
sway           = LOGISTIC(GAIN(EMAHP(EMALP(VALUE;8);600);0.04);1;1)
surge          = LOGISTIC(GAIN(EMAHP(EMALP(VALUE;8);600);0.05);1;1)
heave          = LOGISTIC(GAIN(EMAHP(EMALP(VALUE;3);200);0.12);1;1)   # runway joints and bumps
yaw            = LOGISTIC(GAIN(EMAHP(EMALP(VALUE;10);400);0.01);1;1)
roll           = GAIN(EMAHP(EMALP(VALUE;10);150);0.004)
pitch          = GAIN(EMAHP(EMALP(VALUE;10);150);0.004)
roll_tilt      = LOGISTIC(GAIN(EMALP(VALUE;100);0.03);0.3;1)
pitch_tilt     = LOGISTIC(GAIN(EMALP(VALUE;100);0.05);0.5;1)
roll_attitude  = LOGISTIC(GAIN(EMALP(VALUE;20);0.02);0.3;1)
pitch_attitude = LOGISTIC(GAIN(EMALP(VALUE;20);0.03);0.4;1)
