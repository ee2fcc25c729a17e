// The donation reminder's countdown, kept in the configuration member "do".
#pragma once

// Advances the countdown once per call; true when it has just reached 0.
bool donationReminderDue();

// The countdown, or 999 when there is none; changes nothing.
int donationRemainingStarts();

// Puts the reminder off: the countdown starts again at 3.
void donationRemindLater();
