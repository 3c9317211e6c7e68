#pragma once

#include <QMediaPlayer>
#include <QUrl>

// A media player that plays its movie over and over: made with a movie, it
// starts at once, and each time that movie reaches its end it goes back to
// the start and plays again. Other players reaching their ends do not touch
// it. Show the picture by giving it a video output. GUI thread only.
class LoopingMoviePlayer : public QMediaPlayer {
    Q_OBJECT
public:
    // A plain player: it neither plays nor loops by itself.
    explicit LoopingMoviePlayer(QObject *parent = nullptr);
    // Plays the movie at `url`, with its sound, looping.
    explicit LoopingMoviePlayer(const QUrl &url, QObject *parent = nullptr);

public slots:
    // Goes back to the start and plays.
    void seekToStart();
};
