// The index's filters: the search box (every word a part of the path), the folder
// (with the folders below it) and broken files only. One pass over the cards per
// change, however many there are.
'use strict';
(() => {
  const search = document.getElementById('search');
  const folder = document.getElementById('folder');
  const brokenOnly = document.getElementById('broken-only');
  const shown = document.getElementById('shown');
  const groups = Array.from(document.querySelectorAll('section.folder'), (section) => ({
    section,
    folder: section.dataset.folder,
    cards: Array.from(section.querySelectorAll('.card'), (card) => ({
      card,
      path: card.dataset.animation.toLowerCase(),
      broken: card.hasAttribute('data-error'),
    })),
  }));

  function apply() {
    const words = search.value.toLowerCase().split(/\s+/).filter(Boolean);
    const chosen = folder.value;
    let total = 0;
    for (const group of groups) {
      const inFolder = !chosen || group.folder === chosen || group.folder.startsWith(chosen + '/');
      let count = 0;
      for (const entry of group.cards) {
        const show = inFolder && (!brokenOnly.checked || entry.broken) && words.every((w) => entry.path.includes(w));
        if (entry.card.hidden === show) entry.card.hidden = !show;
        count += show ? 1 : 0;
      }
      group.section.hidden = count === 0;
      total += count;
    }
    shown.textContent = `${total} shown`;
  }

  search.addEventListener('input', apply);
  folder.addEventListener('change', apply);
  brokenOnly.addEventListener('change', apply);
  apply(); // the browser may restore the fields' values on going back
})();
