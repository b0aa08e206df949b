import QtQuick

// The onboarding's mascot: the same outline as the help pages' ghost.
GhostShape {
}
