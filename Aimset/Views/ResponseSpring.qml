import QtQuick

// A spring that settles in about 0.4 s with a damping fraction of 0.8, the
// motion of cards that pop in. SpringAnimation steps every 16 ms with
// velocity += spring * distance - damping * velocity, so a stiffness of
// (2π / 0.4 s)² and a damping of 2 × 0.8 × 2π / 0.4 s become, per step,
// 246.7 × 0.016 and 25.1 × 0.016.
SpringAnimation {
    spring: 3.95
    damping: 0.40
    epsilon: 0.005
}
