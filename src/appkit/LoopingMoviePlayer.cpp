#include "appkit/LoopingMoviePlayer.h"

#include <QAudioOutput>

LoopingMoviePlayer::LoopingMoviePlayer(QObject *parent) : QMediaPlayer(parent)
{
}

LoopingMoviePlayer::LoopingMoviePlayer(const QUrl &url, QObject *parent) : QMediaPlayer(parent)
{
    setAudioOutput(new QAudioOutput(this));
    setSource(url);
    connect(this, &QMediaPlayer::mediaStatusChanged, this, [this](QMediaPlayer::MediaStatus status) {
        if (status == QMediaPlayer::EndOfMedia)
            seekToStart();
    });
    play();
}

void LoopingMoviePlayer::seekToStart()
{
    setPosition(0);
    play();
}
