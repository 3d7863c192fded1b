// An animation page: its player and its palette.
//
// The player: the frames in turn over the one drawn behind them,
// with play/pause and a step either way (buttons, or the arrow keys and space).
'use strict';
for (const player of document.querySelectorAll('.player')) {
  const sequence = player.dataset.sequence.split(',').map(Number);
  const duration = Number(player.dataset.duration);
  const images = new Map(Array.from(player.querySelectorAll('img[data-frame]'), (img) => [Number(img.dataset.frame), img]));
  const label = player.querySelector('output');
  const play = player.querySelector('[data-action="play"]');
  let at = 0;
  let timer = null;

  const show = (step) => {
    at = (step + sequence.length) % sequence.length;
    images.forEach((img, frame) => img.classList.toggle('current', frame === sequence[at]));
    label.textContent = `frame ${sequence[at]} (${at + 1} of ${sequence.length})`;
  };
  const playing = (on) => {
    clearInterval(timer);
    timer = on ? setInterval(() => show(at + 1), duration) : null;
    play.textContent = on ? 'Pause' : 'Play';
    play.setAttribute('aria-pressed', String(on));
  };
  const step = (by) => { playing(false); show(at + by); };

  play.addEventListener('click', () => playing(timer === null));
  player.querySelector('[data-action="previous"]').addEventListener('click', () => step(-1));
  player.querySelector('[data-action="next"]').addEventListener('click', () => step(1));
  document.addEventListener('keydown', (event) => {
    if (event.target.closest('input, select, textarea, button')) return;
    if (event.key === 'ArrowLeft') step(-1);
    else if (event.key === 'ArrowRight') step(1);
    else if (event.key === ' ') playing(timer === null);
    else return;
    event.preventDefault();
  });
  show(0);
  playing(true);
}

// The palette: a cell per color, its index and hex value shown on hover (alpha
// only when the color is not opaque).
for (const swatch of document.querySelectorAll('.swatch[data-colors]')) {
  const colors = swatch.dataset.colors.match(/.{8}/g) || [];
  swatch.replaceChildren(...colors.map((rgba, index) => {
    const cell = document.createElement('i');
    const hex = '#' + (rgba.endsWith('ff') ? rgba.slice(0, 6) : rgba);
    cell.style.background = hex;
    cell.title = `${index} ${hex}`;
    return cell;
  }));
}
