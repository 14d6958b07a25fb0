// What an interrupt does while a playlist is being written.
#ifndef TONVELO_INTERRUPT_H
#define TONVELO_INTERRUPT_H

// From now on an interrupt, or any other signal or console event that
// ends the process, first removes the temporary file being written and
// the status line, then ends the process as it would have. A write to a
// vanished reader or past the file size limit fails with an error instead
// of ending the process.
void catchSignals();

// Between the two, those signals and console events wait: a change to the
// run's files and the note of it are one step for what they do. Holds
// nest; none allocates.
void holdInterrupts();
void releaseInterrupts();

#endif
